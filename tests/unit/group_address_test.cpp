#include "messaging/group_address.h"

#include <gtest/gtest.h>

#include <ostream>

namespace tintcheck {
namespace {

struct GroupCase {
    const char* name;
    const char* address;
};

std::ostream& operator<<(std::ostream& out, const GroupCase& c) { return out << '"' << c.name << '"'; }

class GroupAddressTest : public ::testing::TestWithParam<GroupCase> {};

TEST_P(GroupAddressTest, NameGivesAddress) {
    EXPECT_EQ(HashGroupNameToIP(GetParam().name), GetParam().address) << "group name: " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, GroupAddressTest,
    ::testing::Values(
        // Hashed names; case does not matter.
        GroupCase{"abc", "232.121.218.196"}, GroupCase{"ABC", "232.121.218.196"},
        GroupCase{"", "224.0.0.0"},
        GroupCase{"zzzzzzzzzz", "235.240.108.128"},  // negative before the remainder
        GroupCase{"tintCHECK4", "229.235.141.206"}, GroupCase{"TINTCHECK4", "229.235.141.206"},
        // Multicast addresses are used unchanged, in the form given.
        GroupCase{"224.1.2.3", "224.1.2.3"}, GroupCase{"239.255.255.255", "239.255.255.255"},
        GroupCase{"0224.001.2.3", "0224.001.2.3"}, GroupCase{"224.1.2.", "224.1.2."},
        // Texts that are no multicast address are hashed like any name.
        GroupCase{"240.1.1.1", "234.134.177.110"}, GroupCase{"224.1.2.3.4", "231.237.173.12"},
        GroupCase{" 224.1.2.3", "228.70.85.64"}, GroupCase{"224.1.2.256", "228.234.196.64"},
        GroupCase{"223.1.1.1", "226.207.14.120"}, GroupCase{"224.1.2.99999999999", "229.40.203.204"},
        // Non-ASCII names: simple lower-case mapping, hashed by code point.
        GroupCase{"\xC3\x84rger", "224.18.214.12"}, GroupCase{"\xC3\xA4rger", "224.18.214.12"},
        GroupCase{"\xCE\xA3\xCE\x91\xCE\xA3", "229.163.202.106"}, GroupCase{"\xCF\x83\xCE\xB1\xCF\x83", "229.163.202.106"},
        GroupCase{"\xC4\xB0stanbul", "228.216.118.196"}, GroupCase{"istanbul", "228.216.118.196"},
        GroupCase{"Stra\xC3\x9F" "e", "238.36.5.108"},
        GroupCase{"\xF0\x90\x90\x80x", "225.160.209.160"}, GroupCase{"\xF0\x90\x90\xA8x", "225.160.209.160"}));

TEST(GroupAddress, EveryHashedAddressIsMulticast) {
    for (const char* name : {"a", "b", "zzzzzzzzzz", "\xFF\xFE", "tintCHECK4", "~~~~~~~~~~~~~~~~~~~~"}) {
        const std::string address = HashGroupNameToIP(name);
        const int first = std::stoi(address.substr(0, address.find('.')));
        EXPECT_GE(first, 224) << name;
        EXPECT_LE(first, 239) << name;
    }
}

struct ClassDCase {
    const char* text;
    bool isAddress;
};

std::ostream& operator<<(std::ostream& out, const ClassDCase& c) { return out << '"' << c.text << '"'; }

class ClassDTest : public ::testing::TestWithParam<ClassDCase> {};

TEST_P(ClassDTest, RecognisesMulticastText) { EXPECT_EQ(IsClassDAddress(GetParam().text), GetParam().isAddress); }

INSTANTIATE_TEST_SUITE_P(Texts, ClassDTest,
                         ::testing::Values(ClassDCase{"224.0.0.0", true}, ClassDCase{"239.255.255.255", true},
                                           ClassDCase{"0224.001.2.3", true}, ClassDCase{"224.1.2.", true},
                                           ClassDCase{"224...", true}, ClassDCase{"", false},
                                           ClassDCase{"223.1.2.3", false}, ClassDCase{"240.1.2.3", false},
                                           ClassDCase{".1.2.3", false}, ClassDCase{"224.1.2", false},
                                           ClassDCase{"224.1.2.3.4", false}, ClassDCase{"224.1.2.256", false},
                                           ClassDCase{"224.-1.2.3", false}, ClassDCase{"224.1.2.3 ", false},
                                           ClassDCase{"224.1.2.4294967296", false}, ClassDCase{"224.1.2.3\n", false}));

}  // namespace
}  // namespace tintcheck
