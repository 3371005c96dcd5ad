#include "platform/ipv4_text.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tintcheck {
namespace {

struct TextCase {
    const char* text;
    std::optional<std::uint32_t> address;
};

std::ostream& operator<<(std::ostream& out, const TextCase& c) { return out << '"' << c.text << '"'; }

class DottedDecimalTest : public ::testing::TestWithParam<TextCase> {};

// Every text that names a group address reads as the address it appears to name: leading
// zeros stay decimal and an empty group is 0.
TEST_P(DottedDecimalTest, Parses) { EXPECT_EQ(ParseDottedDecimal(GetParam().text), GetParam().address); }

INSTANTIATE_TEST_SUITE_P(Texts, DottedDecimalTest,
                         ::testing::Values(TextCase{"229.235.141.206", 0xE5EB8DCE}, TextCase{"0224.001.2.3", 0xE0010203},
                                           TextCase{"224.1.2.", 0xE0010200}, TextCase{"0.0.0.0", 0},
                                           TextCase{"255.255.255.255", 0xFFFFFFFF}, TextCase{"224.1.2.256", std::nullopt},
                                           TextCase{"224.1.2", std::nullopt}, TextCase{"224.1.2.3.4", std::nullopt},
                                           TextCase{"localhost", std::nullopt}, TextCase{"", std::nullopt},
                                           TextCase{"1.2.3.4:5", std::nullopt}));

TEST(DottedDecimal, FormatsWithoutLeadingZeros) {
    EXPECT_EQ(FormatDottedDecimal(0xE0010203), "224.1.2.3");
    EXPECT_EQ(FormatDottedDecimal(0), "0.0.0.0");
}

}  // namespace
}  // namespace tintcheck
