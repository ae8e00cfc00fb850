#pragma once
// Decoder filters on FFmpeg: compressed video in, top-down 32-bit BGRA (MEDIASUBTYPE_RGB32 with a
// negative height) out; compressed audio in, interleaved 16-bit PCM out. The codec is chosen by the
// stream's fourcc or wave format tag through FFmpeg's own tag tables, and gets the format block's
// extra bytes as its private data. Samples marked preroll are decoded and not passed on.
#include "platform/graph/Filter.h"
#include "platform/graph/PresentationOrder.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace kestrine::platform {

class FfmpegDecoder final : public Filter<> {
public:
    static inline constexpr CLSID kClsid = MakeGuid("{A35C1F08-6D2B-4E97-B0C4-5F18E7D3926B}");

    // A decoder for the type, or nothing when FFmpeg has no decoder for it.
    static ComPtr<IBaseFilter> CreateFor(const AM_MEDIA_TYPE& input);
    // Whether FFmpeg can decode streams of the type.
    static bool CanDecode(const AM_MEDIA_TYPE& input);
    // Whether the codec of the type may store pictures out of presentation order (B-frames).
    static bool MayReorder(const AM_MEDIA_TYPE& input);

    FfmpegDecoder();
    ~FfmpegDecoder() override;

    std::string CodecName() const;

protected:
    HRESULT OnStateChange(FILTER_STATE from, FILTER_STATE to, REFERENCE_TIME start) override;
    std::vector<AM_MEDIA_TYPE> PinMediaTypes(const Pin& pin) override;
    HRESULT PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type) override;
    HRESULT PinConnected(Pin& pin) override;
    void PinDisconnected(Pin& pin) override;
    HRESULT PinReceive(Pin&, IMediaSample* sample) override;
    HRESULT PinEndOfStream(Pin&) override;
    HRESULT PinBeginFlush(Pin&) override;
    HRESULT PinEndFlush(Pin&) override;
    HRESULT PinNewSegment(Pin&, REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

private:
    struct Codec;
    HRESULT DrainFrames();  // with codecMutex_ held
    HRESULT DeliverFrame();
    HRESULT DeliverPicture();
    HRESULT DeliverSound();

    Pin* input_ = nullptr;
    Pin* output_ = nullptr;
    std::mutex codecMutex_;  // decoding; never taken by BeginFlush, which must reach a blocked renderer
    std::unique_ptr<Codec> codec_;
    std::vector<AM_MEDIA_TYPE> outputTypes_;  // offered on the output pin, preferred first
    std::set<REFERENCE_TIME> prerollTimes_;
    PresentationOrder order_;  // video: when each picture out of the codec is shown
    std::optional<REFERENCE_TIME> nextStart_;  // where the frame after the last one passed on starts
    std::optional<REFERENCE_TIME> soundFrom_;  // sound: the time of the first object since a start or seek
    std::atomic<bool> flushing_{false};
};

}  // namespace kestrine::platform
