// The part of a platform socket that does not depend on its protocol: the local port, the
// connected state and last error, the events and the order in which they are raised, and the
// place of the socket in the event loop's polling.
#pragma once

#include <cstdint>

#include "platform/object.h"
#include "platform/socket_system.h"

namespace tintcheck {

class SocketCore : public Object {
public:
    ~SocketCore() override;

    std::int32_t Port() const noexcept { return mPort; }
    // Takes effect at the next Connect.
    void SetPort(std::int32_t port) noexcept { mPort = port; }

    bool IsConnected() const noexcept { return mIsConnected; }
    std::int32_t LastErrorCode() const noexcept { return mLastErrorCode; }

    virtual void Close();
    // Services the socket once now: receives at most one datagram, then raises at most one
    // pending event.
    virtual void Poll();
    virtual void Purge() {}
    virtual void Connect() = 0;

protected:
    SocketCore() = default;

    // Events; each does nothing unless a subclass handles it.
    virtual void Event_DataAvailable() {}
    virtual void Event_Error() {}
    virtual void Event_SendComplete(bool userAborted) { static_cast<void>(userAborted); }

    // The failure path: records `code`, marks Error pending and raises the first pending event
    // before returning.
    void Fail(std::int32_t code);
    // Records a failure seen during a poll, whose own notification step raises it.
    void RecordFailure(std::int32_t code) noexcept;
    void MarkDataAvailable() noexcept { mDataAvailablePending = true; }
    void MarkSendComplete() noexcept { mSendCompletePending = true; }

    // Connect's first steps: clears the last error, closes an open socket and puts this socket
    // at the head of the event loop's polling.
    void BeginConnect();
    void Connected(os::SocketHandle handle) noexcept;
    os::SocketHandle Handle() const noexcept { return mHandle; }

    virtual void ReceiveOnce() {}

private:
    void Notify();
    void CloseHandle() noexcept;

    os::SocketHandle mHandle = os::kNoSocket;
    std::int32_t mPort = 0;
    bool mIsConnected = false;
    std::int32_t mLastErrorCode = 0;
    std::int32_t mRecordedError = 0;
    bool mDataAvailablePending = false;
    bool mErrorPending = false;
    bool mSendCompletePending = false;
};

}  // namespace tintcheck
