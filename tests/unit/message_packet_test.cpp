#include "messaging/message_packet.h"

#include <gtest/gtest.h>

#include <ostream>

#include <limits>

namespace tintcheck {
namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes.push_back(static_cast<char>(value));
    return bytes;
}

TEST(CreatePacket, EncodesTheWireExamples) {
    EXPECT_EQ(CreatePacket(0, "S").Bytes(), Bytes({0, 0, 0, 9, 0, 0, 0, 0, 0x53}));
    EXPECT_EQ(CreatePacket(-101, "").Bytes(), Bytes({0, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0x9B}));
    EXPECT_EQ(CreatePacket(-100, "").Bytes(), Bytes({0, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0x9C}));
    EXPECT_EQ(CreatePacket(-102, "").Bytes(), Bytes({0, 0, 0, 8, 0xFF, 0xFF, 0xFF, 0x9A}));
}

TEST(CreatePacket, CarriesZeroBytesWhole) {
    const std::string data("a\0b\0", 4);
    EXPECT_EQ(CreatePacket(7, data).Bytes(), Bytes({0, 0, 0, 12, 0, 0, 0, 7}) + data);
}

TEST(CreatePacket, CommandCodesSurviveTheRoundTrip) {
    for (const std::int32_t command : {std::numeric_limits<std::int32_t>::min(), -102, -1, 0, 1,
                                       std::numeric_limits<std::int32_t>::max()}) {
        const std::string packet = CreatePacket(command, "xy").Bytes();
        const PacketHeader header = InspectPacketStart(packet);
        ASSERT_EQ(header.start, PacketStart::Complete);
        EXPECT_EQ(header.length, 10);
        EXPECT_EQ(ReadBigEndianInt32(std::string_view(packet).substr(4)), command);
    }
}

struct StartCase {
    std::string bytes;
    PacketStart start;
};

std::ostream& operator<<(std::ostream& out, const StartCase& c) {
    out << c.bytes.size() << " bytes:";
    for (const char byte : c.bytes.substr(0, 8)) out << ' ' << static_cast<int>(static_cast<unsigned char>(byte));
    return out;
}

class PacketStartTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(PacketStartTest, Classifies) { EXPECT_EQ(InspectPacketStart(GetParam().bytes).start, GetParam().start); }

INSTANTIATE_TEST_SUITE_P(
    Starts, PacketStartTest,
    ::testing::Values(StartCase{"", PacketStart::Incomplete}, StartCase{Bytes({0, 0, 0}), PacketStart::Incomplete},
                      StartCase{Bytes({0, 0, 0, 8, 0, 0, 0}), PacketStart::Incomplete},
                      StartCase{Bytes({0, 0, 0, 8, 0, 0, 0, 0}), PacketStart::Complete},
                      StartCase{Bytes({0, 0, 0, 20}) + std::string(8, 'x'), PacketStart::Incomplete},
                      StartCase{Bytes({0, 0, 0, 0}), PacketStart::Malformed},
                      StartCase{Bytes({0, 0, 0, 7, 0, 0, 0, 0}), PacketStart::Malformed},
                      StartCase{Bytes({0xFF, 0xFF, 0xFF, 0xF8}), PacketStart::Malformed},
                      StartCase{Bytes({0, 0, 0xFF, 0xE3}), PacketStart::Incomplete},   // 65507 waits
                      StartCase{Bytes({0, 0, 0xFF, 0xE4}), PacketStart::Malformed}));  // 65508 never fits

}  // namespace
}  // namespace tintcheck
