#include "platform/socket_core.h"

#include "platform/socket_poll_list.h"

namespace tintcheck {

SocketCore::~SocketCore() {
    CloseHandle();
    SocketPollList::Remove(this);
}

void SocketCore::CloseHandle() noexcept {
    if (mHandle != os::kNoSocket) os::CloseSocket(mHandle);
    mHandle = os::kNoSocket;
}

void SocketCore::Close() {
    CloseHandle();
    mIsConnected = false;
}

void SocketCore::Poll() {
    if (mIsConnected) ReceiveOnce();
    Notify();
}

void SocketCore::Fail(std::int32_t code) {
    RecordFailure(code);
    Notify();
}

void SocketCore::RecordFailure(std::int32_t code) noexcept {
    mRecordedError = code;
    mErrorPending = true;
}

void SocketCore::BeginConnect() {
    mLastErrorCode = 0;
    mErrorPending = false;
    Close();
    SocketPollList::MoveToFront(this);
}

void SocketCore::Connected(os::SocketHandle handle) noexcept {
    mHandle = handle;
    mIsConnected = true;
}

void SocketCore::Notify() {
    if (mDataAvailablePending) {
        mDataAvailablePending = false;
        Event_DataAvailable();
    } else if (mErrorPending) {
        mErrorPending = false;
        mLastErrorCode = mRecordedError;
        mIsConnected = false;
        Event_Error();
    } else if (mSendCompletePending) {
        mSendCompletePending = false;
        Event_SendComplete(false);
    }
}

}  // namespace tintcheck
