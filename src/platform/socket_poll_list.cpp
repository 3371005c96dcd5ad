#include "platform/socket_poll_list.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/socket_core.h"

namespace tintcheck::SocketPollList {

namespace {
std::vector<SocketCore*>& Sockets() {
    static auto* sockets = new std::vector<SocketCore*>();  // lives as long as the process
    return *sockets;
}

bool IsListed(SocketCore* socket) {
    const auto& sockets = Sockets();
    return std::find(sockets.begin(), sockets.end(), socket) != sockets.end();
}
}  // namespace

void MoveToFront(SocketCore* socket) {
    Remove(socket);
    auto& sockets = Sockets();
    sockets.insert(sockets.begin(), socket);
}

void Remove(SocketCore* socket) noexcept {
    auto& sockets = Sockets();
    sockets.erase(std::remove(sockets.begin(), sockets.end(), socket), sockets.end());
}

void PollAll() {
    const std::vector<SocketCore*> pass = Sockets();
    for (SocketCore* socket : pass) {
        if (!IsListed(socket)) continue;
        // Keeps a shared socket alive while its own handlers run, even if they drop it.
        const std::shared_ptr<Object> keepAlive = socket->weak_from_this().lock();
        socket->Poll();
    }
}

}  // namespace tintcheck::SocketPollList
