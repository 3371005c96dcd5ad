// Socket error codes. The platform reports a system failure in the BSD numbering, whatever
// numbering the operating system itself uses, and folds a few kinds of failure into the
// socket's own codes 100 to 108.
#pragma once

#include <cstdint>

namespace tintcheck {

// Every system error the sockets can meet, with its BSD number. Winsock numbers the same
// errors 10000 higher; Linux numbers many of them differently.
#define TINTCHECK_BSD_ERRORS(XX)                                                              \
    XX(EPERM, 1) XX(ENOENT, 2) XX(ESRCH, 3) XX(EINTR, 4) XX(EIO, 5) XX(ENXIO, 6) XX(E2BIG, 7)  \
    XX(ENOEXEC, 8) XX(EBADF, 9) XX(ECHILD, 10) XX(EDEADLK, 11) XX(ENOMEM, 12) XX(EACCES, 13)   \
    XX(EFAULT, 14) XX(ENOTBLK, 15) XX(EBUSY, 16) XX(EEXIST, 17) XX(EXDEV, 18) XX(ENODEV, 19)   \
    XX(ENOTDIR, 20) XX(EISDIR, 21) XX(EINVAL, 22) XX(ENFILE, 23) XX(EMFILE, 24)                \
    XX(ENOTTY, 25) XX(ETXTBSY, 26) XX(EFBIG, 27) XX(ENOSPC, 28) XX(ESPIPE, 29) XX(EROFS, 30)   \
    XX(EMLINK, 31) XX(EPIPE, 32) XX(EDOM, 33) XX(ERANGE, 34) XX(EAGAIN, 35)                    \
    XX(EWOULDBLOCK, 35) XX(EINPROGRESS, 36) XX(EALREADY, 37) XX(ENOTSOCK, 38)                  \
    XX(EDESTADDRREQ, 39) XX(EMSGSIZE, 40) XX(EPROTOTYPE, 41) XX(ENOPROTOOPT, 42)               \
    XX(EPROTONOSUPPORT, 43) XX(ESOCKTNOSUPPORT, 44) XX(EOPNOTSUPP, 45) XX(ENOTSUP, 45)         \
    XX(EPFNOSUPPORT, 46) XX(EAFNOSUPPORT, 47) XX(EADDRINUSE, 48) XX(EADDRNOTAVAIL, 49)         \
    XX(ENETDOWN, 50) XX(ENETUNREACH, 51) XX(ENETRESET, 52) XX(ECONNABORTED, 53)                \
    XX(ECONNRESET, 54) XX(ENOBUFS, 55) XX(EISCONN, 56) XX(ENOTCONN, 57) XX(ESHUTDOWN, 58)      \
    XX(ETOOMANYREFS, 59) XX(ETIMEDOUT, 60) XX(ECONNREFUSED, 61) XX(ELOOP, 62)                 \
    XX(ENAMETOOLONG, 63) XX(EHOSTDOWN, 64) XX(EHOSTUNREACH, 65) XX(ENOTEMPTY, 66)

enum BsdError : std::int32_t {
#define TINTCHECK_BSD_ENUM(name, number) kBsd_##name = number,
    TINTCHECK_BSD_ERRORS(TINTCHECK_BSD_ENUM)
#undef TINTCHECK_BSD_ENUM
};

// The socket's own codes, stored in LastErrorCode.
enum SocketErrorCode : std::int32_t {
    kNoSocketError = 0,
    kCannotCreateSocket = 100,
    kConnectionLost = 102,
    kNetworkUnreachable = 103,
    kAddressInUse = 105,
    kNotConnected = 106,
    kAccessDenied = 107,
    kOutOfResources = 108,
};

// A system error that has no BSD number is reported as this offset plus the system's own number,
// so that it can never be mistaken for a BSD code.
inline constexpr std::int32_t kUnmappedSystemErrorBase = 1000;

// The LastErrorCode for a system failure given in the BSD numbering.
std::int32_t SocketErrorFromBsd(std::int32_t bsdError) noexcept;

}  // namespace tintcheck
