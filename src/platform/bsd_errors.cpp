#include "platform/bsd_errors.h"

namespace tintcheck {

namespace {
// Failures that the socket reports by kind rather than by system number.
#define TINTCHECK_SOCKET_ERROR_KINDS(XX)                                                      \
    XX(ECONNABORTED, kConnectionLost) XX(EPIPE, kConnectionLost)                              \
    XX(ENETUNREACH, kNetworkUnreachable) XX(ENOTCONN, kNetworkUnreachable)                    \
    XX(ETIMEDOUT, kNetworkUnreachable) XX(ECONNREFUSED, kNetworkUnreachable)                  \
    XX(EADDRINUSE, kAddressInUse)                                                             \
    XX(EACCES, kAccessDenied) XX(EADDRNOTAVAIL, kAccessDenied) XX(EPERM, kAccessDenied)       \
    XX(ENOBUFS, kOutOfResources) XX(ENOMEM, kOutOfResources) XX(ENFILE, kOutOfResources)

struct Kind {
    std::int32_t bsd;
    std::int32_t code;
};

constexpr Kind kKinds[] = {
#define TINTCHECK_KIND_ROW(name, code) {kBsd_##name, code},
    TINTCHECK_SOCKET_ERROR_KINDS(TINTCHECK_KIND_ROW)
#undef TINTCHECK_KIND_ROW
};
}  // namespace

std::int32_t SocketErrorFromBsd(std::int32_t bsdError) noexcept {
    for (const Kind& kind : kKinds) {
        if (kind.bsd == bsdError) return kind.code;
    }
    return bsdError;
}

}  // namespace tintcheck
