// Fuzzes the endpoint's receive path. The input is read as a little program that builds
// datagrams from four senders: well-formed packets cut into datagrams at arbitrary points,
// datagrams of arbitrary bytes, and polls in between. Every well-formed packet of a sender that
// sent nothing else must be delivered exactly once and in order; nothing may crash or hang.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "messaging/easy_udp_socket.h"
#include "messaging/message_packet.h"

namespace {

using tintcheck::EasyUDPSocket;

constexpr std::size_t kSenders = 4;
constexpr std::size_t kLargestDatagram = 65507;

struct Delivered {
    std::int32_t command;
    std::string data;
    bool operator==(const Delivered&) const = default;
};

class FuzzedEndpoint : public EasyUDPSocket {
public:
    std::array<std::vector<Delivered>, kSenders> delivered;

    void Arrive(std::size_t sender, std::string bytes) { QueueDatagram(Address(sender), 9090, std::move(bytes)); }

    static std::string Address(std::size_t sender) { return "10.0.0." + std::to_string(sender + 1); }

protected:
    void Event_ReceivedMessage(const std::string& from, std::int32_t command, const std::string& data) override {
        for (std::size_t sender = 0; sender < kSenders; ++sender) {
            if (from == Address(sender)) delivered[sender].push_back({command, data});
        }
    }
};

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : mData(data), mSize(size) {}
    bool Done() const { return mOffset >= mSize; }
    std::uint8_t Byte() { return Done() ? 0 : mData[mOffset++]; }
    std::string Bytes(std::size_t count) {
        std::string bytes;
        while (count-- > 0 && !Done()) bytes.push_back(static_cast<char>(Byte()));
        return bytes;
    }

private:
    const std::uint8_t* mData;
    std::size_t mSize;
    std::size_t mOffset = 0;
};

struct SenderStream {
    std::string unsent;
    std::vector<Delivered> expected;
    bool sentArbitraryBytes = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto endpoint = tintcheck::New<FuzzedEndpoint>();
    std::array<SenderStream, kSenders> streams;
    Input input(data, size);

    while (!input.Done()) {
        const std::uint8_t op = input.Byte();
        const std::size_t sender = op % kSenders;
        SenderStream& stream = streams[sender];
        switch ((op / kSenders) % 4) {
            case 0: {  // one more well-formed packet in the sender's stream
                std::uint32_t command = 0;
                for (int i = 0; i < 4; ++i) command = command << 8 | input.Byte();
                const std::string payload = input.Bytes(input.Byte());
                const auto signedCommand = static_cast<std::int32_t>(command);
                stream.unsent += tintcheck::CreatePacket(signedCommand, payload).Bytes();
                stream.expected.push_back({signedCommand, payload});
                break;
            }
            case 1: {  // the next bytes of the stream go out as one datagram
                const std::size_t cut = (static_cast<std::size_t>(input.Byte()) << 8 | input.Byte()) % 512 + 1;
                if (stream.unsent.empty()) break;
                endpoint->Arrive(sender, stream.unsent.substr(0, cut));
                stream.unsent.erase(0, cut);
                break;
            }
            case 2:  // a datagram of arbitrary bytes
                endpoint->Arrive(sender, input.Bytes(input.Byte() + 1u));
                stream.sentArbitraryBytes = true;
                break;
            case 3:
                endpoint->Poll();
                break;
        }
    }
    for (std::size_t sender = 0; sender < kSenders; ++sender) {
        std::string& unsent = streams[sender].unsent;
        for (std::size_t start = 0; start < unsent.size(); start += kLargestDatagram) {
            endpoint->Arrive(sender, unsent.substr(start, kLargestDatagram));
        }
    }
    endpoint->Poll();

    for (std::size_t sender = 0; sender < kSenders; ++sender) {
        if (!streams[sender].sentArbitraryBytes && endpoint->delivered[sender] != streams[sender].expected) std::abort();
    }
    return 0;
}
