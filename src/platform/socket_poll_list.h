// The sockets that the event loop polls: every socket that has ever connected, the most
// recently connected first.
#pragma once

namespace tintcheck {

class SocketCore;

namespace SocketPollList {
void MoveToFront(SocketCore* socket);
void Remove(SocketCore* socket) noexcept;
// Polls each listed socket once. A socket destroyed or newly connected by a handler during the
// pass is not touched again in it.
void PollAll();
}  // namespace SocketPollList

}  // namespace tintcheck
