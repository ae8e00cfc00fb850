#pragma once
// Sequential, buffered reading of an ASF file's data packets with constant memory.
//
//   PacketReader reader(file);              // from the first packet
//   PacketView packet;
//   while (reader.Next(packet)) {
//       ParsedPacket parsed = ParseDataPacket(packet.bytes);   // may throw FormatError
//       ... packet.index, packet.fileOffset ...
//   }
//
// `packet.bytes` stays valid until the next call to Next() or Seek(). The buffer holds a fixed
// number of packets, however large the file.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "asf/AsfFile.h"

namespace kestrine::asf {

struct PacketView {
    std::uint64_t index = 0;       // packet number, counted from 0
    std::uint64_t fileOffset = 0;  // of the packet's first byte
    std::span<const std::uint8_t> bytes;
};

class PacketReader {
public:
    explicit PacketReader(const AsfFile& file, std::uint64_t firstPacket = 0, std::size_t bufferBytes = 1u << 18);

    bool Next(PacketView& out);
    void Seek(std::uint64_t packetIndex);  // the next Next() returns that packet
    std::uint64_t PacketCount() const { return data_.packetCount; }
    // The bytes of the packet `view` shows, for patching in place before they are passed on.
    std::span<std::uint8_t> Writable(const PacketView& view)
    {
        return {buffer_.data() + (view.bytes.data() - buffer_.data()), view.bytes.size()};
    }

private:
    const InputFile& file_;
    DataObjectInfo data_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t next_ = 0;         // packet Next() returns
    std::uint64_t bufferFirst_ = 0;  // packet held at the start of buffer_
    std::uint64_t bufferCount_ = 0;  // packets held in buffer_
};

}  // namespace kestrine::asf
