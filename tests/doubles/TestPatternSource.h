#pragma once
// A source of numbered frames for exercising graphs: each stream yields frameCount samples of fixed
// duration whose first four bytes hold the frame number (little-endian). Seeking starts at the
// keyframe at or before the target and marks the frames before it as preroll, the way a decoder
// that must start from a keyframe would.
#include "platform/graph/PushSource.h"

#include <vector>

namespace kestrine::platform {

class TestPatternSource final : public PushSource {
public:
    struct Stream {
        AM_MEDIA_TYPE type;
        int frameCount = 0;
        REFERENCE_TIME frameDuration = kUnitsPerSecond / 25;
        int keyframeInterval = 1;  // every n-th frame is a sync point
        std::size_t frameBytes = 16;
    };

    static inline constexpr CLSID kClsid = MakeGuid("{0D4C2B7E-5A91-4E36-8F0B-3C62A1D9E754}");

    explicit TestPatternSource(std::vector<Stream> streams);
    ~TestPatternSource() override;

    // A video stream of RGB32 frames and an audio stream of PCM blocks.
    static Stream VideoStream(int frameCount, REFERENCE_TIME frameDuration, int keyframeInterval);
    static Stream AudioStream(int blockCount, REFERENCE_TIME blockDuration);

    // The frame number a presented sample carries.
    static int FrameNumber(const std::vector<BYTE>& data);

    // How many samples were handed out since the last seek (for tests of what a seek reads).
    std::size_t SamplesSinceSeek() const { return sentSinceSeek_.load(); }

protected:
    HRESULT SeekTo(REFERENCE_TIME time) override;
    std::optional<Outgoing> ReadNext() override;
    REFERENCE_TIME MediaDuration() const override;
    std::vector<AM_MEDIA_TYPE> PinMediaTypes(const Pin& pin) override;

private:
    std::vector<Stream> streams_;
    std::vector<int> next_;     // next frame per stream
    REFERENCE_TIME target_ = 0;  // frames ending at or before it are preroll
    std::atomic<std::size_t> sentSinceSeek_{0};
};

}  // namespace kestrine::platform
