#include "asf/PacketReader.h"

#include <algorithm>

namespace kestrine::asf {

PacketReader::PacketReader(const AsfFile& file, std::uint64_t firstPacket, std::size_t bufferBytes)
    : file_(file.File()), data_(file.Data()), next_(firstPacket)
{
    const std::size_t packets = std::max<std::size_t>(1, bufferBytes / data_.packetSize);
    buffer_.resize(packets * data_.packetSize);
}

void PacketReader::Seek(std::uint64_t packetIndex) { next_ = packetIndex; }

bool PacketReader::Next(PacketView& out)
{
    if (next_ >= data_.packetCount) return false;
    if (next_ < bufferFirst_ || next_ >= bufferFirst_ + bufferCount_) {
        const std::uint64_t capacity = buffer_.size() / data_.packetSize;
        const std::uint64_t want = std::min(capacity, data_.packetCount - next_);
        const std::size_t bytes = static_cast<std::size_t>(want * data_.packetSize);
        const std::size_t got = file_.ReadAt(data_.PacketOffset(next_), std::span(buffer_.data(), bytes));
        bufferFirst_ = next_;
        bufferCount_ = got / data_.packetSize;
        if (bufferCount_ == 0) return false;  // the file shrank under us
    }
    const std::size_t at = static_cast<std::size_t>((next_ - bufferFirst_) * data_.packetSize);
    out.index = next_;
    out.fileOffset = data_.PacketOffset(next_);
    out.bytes = std::span<const std::uint8_t>(buffer_.data() + at, data_.packetSize);
    ++next_;
    return true;
}

}  // namespace kestrine::asf
