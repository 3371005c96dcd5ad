#include "platform/bsd_errors.h"

#include <gtest/gtest.h>

#include <ostream>

#include <cerrno>

#include "platform/socket_system.h"

namespace tintcheck {
namespace {

struct ErrorCase {
    int systemError;
    std::int32_t lastErrorCode;
};

std::ostream& operator<<(std::ostream& out, const ErrorCase& c) { return out << "errno " << c.systemError; }

class SystemErrorTest : public ::testing::TestWithParam<ErrorCase> {};

// What LastErrorCode holds after a system failure: the socket's own codes for the kinds it
// names, otherwise the BSD number, which differs from this system's for most network errors.
TEST_P(SystemErrorTest, TranslatesToLastErrorCode) {
    EXPECT_EQ(SocketErrorFromBsd(os::BsdFromSystemError(GetParam().systemError)), GetParam().lastErrorCode)
        << "system error " << GetParam().systemError;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, SystemErrorTest,
    ::testing::Values(ErrorCase{ECONNABORTED, 102}, ErrorCase{EPIPE, 102}, ErrorCase{ENETUNREACH, 103},
                      ErrorCase{ENOTCONN, 103}, ErrorCase{ETIMEDOUT, 103}, ErrorCase{ECONNREFUSED, 103},
                      ErrorCase{EADDRINUSE, 105}, ErrorCase{EACCES, 107}, ErrorCase{EADDRNOTAVAIL, 107},
                      ErrorCase{EPERM, 107}, ErrorCase{ENOBUFS, 108}, ErrorCase{ENOMEM, 108}, ErrorCase{ENFILE, 108},
                      ErrorCase{EINVAL, 22}, ErrorCase{EMSGSIZE, 40}, ErrorCase{ECONNRESET, 54},
                      ErrorCase{EHOSTUNREACH, 65}, ErrorCase{ENODEV, 19}, ErrorCase{EAGAIN, 35},
                      ErrorCase{EWOULDBLOCK, 35}, ErrorCase{ENOPROTOOPT, 42}, ErrorCase{EAFNOSUPPORT, 47},
                      ErrorCase{ENETDOWN, 50}, ErrorCase{EHOSTDOWN, 64}, ErrorCase{EMFILE, 24},
                      ErrorCase{EOPNOTSUPP, 45}));

TEST(SystemError, WithoutBsdNumberCannotBeMistakenForOne) {
    // No BSD system has this error; its code lies outside the BSD and socket ranges.
    EXPECT_EQ(os::BsdFromSystemError(ENOMEDIUM), kUnmappedSystemErrorBase + ENOMEDIUM);
    EXPECT_EQ(SocketErrorFromBsd(os::BsdFromSystemError(ENOMEDIUM)), kUnmappedSystemErrorBase + ENOMEDIUM);
}

}  // namespace
}  // namespace tintcheck
