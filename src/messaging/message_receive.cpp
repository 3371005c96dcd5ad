// The endpoint's receive path: datagrams are appended to their sender's buffer and complete
// packets are cut out of the buffers, one per sender per pass, in first-contact order.
#include "messaging/easy_udp_socket.h"
#include "messaging/message_packet.h"

namespace tintcheck {

void EasyUDPSocket::Event_DataAvailable() {
    // Every datagram queued now is appended, in queue order, before any parsing.
    do {
        const Ref<Datagram> datagram = UDPSocket::Read();
        if (!datagram) break;
        mBuffers.BufferFor(datagram->Address).Append(datagram->Data);
    } while (PacketsAvailable() != 0);
    ProcessData();
}

void EasyUDPSocket::ProcessData() {
    // A handler may run the event loop and so parse again from inside a delivery; each buffer's
    // cursor makes sure that every byte is handed out once, in order.
    bool consumedSomething = true;
    while (consumedSomething) {
        consumedSomething = false;
        const std::size_t senders = mBuffers.Count();
        for (std::size_t position = 0; position < senders && position < mBuffers.Count(); ++position) {
            std::int32_t consumed = 0;
            if (CheckForSingleMessage(mBuffers.At(position), consumed)) consumedSomething = true;
        }
    }
}

bool EasyUDPSocket::CheckForSingleMessage(SenderBuffer& buffer, std::int32_t& consumed) {
    const std::string_view bytes = buffer.Unparsed();
    const PacketHeader header = InspectPacketStart(bytes);
    if (header.start == PacketStart::Malformed) {
        // Nothing marks where the next packet would begin, so this sender's pending bytes go.
        buffer.DiscardUnparsed();
        return false;
    }
    if (header.start == PacketStart::Incomplete) return false;

    const auto length = static_cast<std::size_t>(header.length);
    const std::int32_t command = ReadBigEndianInt32(bytes.substr(4));
    const std::string data(bytes.substr(static_cast<std::size_t>(kPacketHeaderSize), length - kPacketHeaderSize));

    const std::size_t start = buffer.BeginDelivery(length);
    try {
        Deliver(buffer.Address(), command, data);
    } catch (...) {
        buffer.AbandonDelivery(start, length);
        throw;
    }
    buffer.EndDelivery();
    consumed = header.length;
    return true;
}

}  // namespace tintcheck
