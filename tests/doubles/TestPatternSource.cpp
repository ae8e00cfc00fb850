#include "doubles/TestPatternSource.h"

#include "platform/graph/MediaSample.h"

#include <algorithm>

namespace kestrine::platform {

TestPatternSource::TestPatternSource(std::vector<Stream> streams)
    : PushSource(kClsid), streams_(std::move(streams)), next_(streams_.size(), 0)
{
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        std::u16string name = streams_[i].type.majortype == MEDIATYPE_Audio ? u"Audio " : u"Video ";
        name += static_cast<char16_t>(u'0' + static_cast<char16_t>(i % 10));
        AddStreamPin(std::move(name));
    }
}

TestPatternSource::~TestPatternSource() { StopStreaming(); }

TestPatternSource::Stream TestPatternSource::VideoStream(int frameCount, REFERENCE_TIME frameDuration, int keyframeInterval)
{
    Stream s;
    s.type.majortype = MEDIATYPE_Video;
    s.type.subtype = MEDIASUBTYPE_RGB32;
    s.type.formattype = FORMAT_VideoInfo;
    s.type.bFixedSizeSamples = true;
    s.frameCount = frameCount;
    s.frameDuration = frameDuration;
    s.keyframeInterval = std::max(1, keyframeInterval);
    s.frameBytes = 4 * 4 * 4;
    s.type.lSampleSize = static_cast<ULONG>(s.frameBytes);
    return s;
}

TestPatternSource::Stream TestPatternSource::AudioStream(int blockCount, REFERENCE_TIME blockDuration)
{
    Stream s;
    s.type.majortype = MEDIATYPE_Audio;
    s.type.subtype = MEDIASUBTYPE_PCM;
    s.type.formattype = FORMAT_WaveFormatEx;
    s.frameCount = blockCount;
    s.frameDuration = blockDuration;
    s.keyframeInterval = 1;
    s.frameBytes = 64;
    return s;
}

int TestPatternSource::FrameNumber(const std::vector<BYTE>& data)
{
    if (data.size() < 4) return -1;
    return static_cast<int>(static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
                            static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24);
}

std::vector<AM_MEDIA_TYPE> TestPatternSource::PinMediaTypes(const Pin& pin)
{
    const auto i = static_cast<std::size_t>(pin.Index());
    return i < streams_.size() ? std::vector<AM_MEDIA_TYPE>{streams_[i].type} : std::vector<AM_MEDIA_TYPE>{};
}

REFERENCE_TIME TestPatternSource::MediaDuration() const
{
    REFERENCE_TIME d = 0;
    for (const Stream& s : streams_) d = std::max(d, s.frameDuration * s.frameCount);
    return d;
}

HRESULT TestPatternSource::SeekTo(REFERENCE_TIME time)
{
    target_ = time;
    sentSinceSeek_ = 0;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const Stream& s = streams_[i];
        if (s.frameCount == 0) {
            next_[i] = 0;
            continue;
        }
        // The frame showing at time (the last one for times at the end), then back to its keyframe.
        int frame = static_cast<int>(std::min<REFERENCE_TIME>(time / s.frameDuration, s.frameCount - 1));
        frame -= frame % s.keyframeInterval;
        next_[i] = frame;
    }
    return S_OK;
}

std::optional<PushSource::Outgoing> TestPatternSource::ReadNext()
{
    // Interleave the streams in time order, as a multiplexed file would send them.
    std::size_t best = streams_.size();
    REFERENCE_TIME bestTime = 0;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        if (next_[i] >= streams_[i].frameCount) continue;
        const REFERENCE_TIME t = next_[i] * streams_[i].frameDuration;
        if (best == streams_.size() || t < bestTime) {
            best = i;
            bestTime = t;
        }
    }
    if (best == streams_.size()) return std::nullopt;
    const Stream& s = streams_[best];
    const int frame = next_[best]++;
    std::vector<BYTE> data(std::max<std::size_t>(s.frameBytes, 4), static_cast<BYTE>(frame * 7 + 1));
    for (int b = 0; b < 4; ++b) data[static_cast<std::size_t>(b)] = static_cast<BYTE>(static_cast<std::uint32_t>(frame) >> (8 * b));
    const REFERENCE_TIME start = frame * s.frameDuration;
    const REFERENCE_TIME stop = start + s.frameDuration;
    ComPtr<IMediaSample> sample = MakeSample(std::move(data), start, stop, frame % s.keyframeInterval == 0);
    // Frames that end before the target only lead up to it. The last frame is never preroll, so a
    // seek to the very end still shows a picture.
    if (stop <= target_ && frame != s.frameCount - 1) sample->SetPreroll(1);
    ++sentSinceSeek_;
    return Outgoing{best, std::move(sample)};
}

}  // namespace kestrine::platform
