// The translation of Winsock errors into the socket's codes, run under Windows (or Wine).
// Prints one line per failing case and a closing "N passed, N failed" line.
#include <winsock2.h>

#include <cstdio>

#include "platform/bsd_errors.h"
#include "platform/socket_system.h"

namespace {

struct Case {
    int winsockError;
    std::int32_t lastErrorCode;
};

constexpr Case kCases[] = {
    {WSAECONNABORTED, 102}, {WSAENETUNREACH, 103}, {WSAENOTCONN, 103},   {WSAETIMEDOUT, 103},
    {WSAECONNREFUSED, 103}, {WSAEADDRINUSE, 105},  {WSAEACCES, 107},     {WSAEADDRNOTAVAIL, 107},
    {WSAENOBUFS, 108},      {WSAEMSGSIZE, 40},     {WSAECONNRESET, 54},  {WSAEHOSTUNREACH, 65},
    {WSAEINVAL, 22},        {WSAEWOULDBLOCK, 35},  {WSAENOPROTOOPT, 42}, {WSAEAFNOSUPPORT, 47},
    {WSAENETDOWN, 50},      {WSAEMFILE, 24},       {WSAEHOSTDOWN, 64},   {WSA_NOT_ENOUGH_MEMORY, 108},
    {WSA_INVALID_PARAMETER, 22}, {WSANOTINITIALISED, 1000 + WSANOTINITIALISED},
};

}  // namespace

int main() {
    int passed = 0;
    int failed = 0;
    for (const Case& c : kCases) {
        const std::int32_t code = tintcheck::SocketErrorFromBsd(tintcheck::os::BsdFromSystemError(c.winsockError));
        if (code == c.lastErrorCode) {
            ++passed;
        } else {
            ++failed;
            std::printf("Winsock error %d: expected %d, got %d\n", c.winsockError, c.lastErrorCode, code);
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
