#pragma once
// The source filter for ASF files: one output pin per audio or video stream, carrying the stream's
// compressed objects with times on the editor's timeline (presentation time minus preroll).
// Seeks start at the keyframe at or before the target, found as the cutter finds its cut points, so a
// keyframe time from the cutter's report presents exactly that keyframe. Objects before the target
// go out marked as preroll, for decoders to decode and drop.
#include "platform/graph/PushSource.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kestrine::asf {
class AsfFile;
struct CutStart;
class MediaObjectReader;
struct StreamProperties;
}  // namespace kestrine::asf

namespace kestrine::platform {

class AsfSource final : public PushSource {
public:
    static inline constexpr CLSID kClsid = MakeGuid("{187463A0-5BB7-11D3-ACBE-0080C75E246E}");

    // VFW_E_INVALID_FILE_FORMAT (with the reason in *reason) when the file is not a readable ASF file;
    // VFW_E_FILE_TOO_SHORT when it ends before its first packet; HR_PROTECTED_CONTENT when its
    // content is encrypted; VFW_E_UNSUPPORTED_STREAM when it holds no
    // audio or video stream. Of alternative streams (several bitrates or languages) one is exposed.
    static HRESULT Open(const std::string& utf8Path, ComPtr<AsfSource>* out, std::string* reason = nullptr);

    explicit AsfSource(std::unique_ptr<asf::AsfFile> file);
    ~AsfSource() override;

    std::size_t StreamCount() const { return streams_.size(); }
    std::uint16_t StreamNumber(std::size_t pin) const { return streams_.at(pin).number; }

protected:
    HRESULT SeekTo(REFERENCE_TIME time) override;
    std::optional<Outgoing> ReadNext() override;
    REFERENCE_TIME MediaDuration() const override;
    std::vector<AM_MEDIA_TYPE> PinMediaTypes(const Pin& pin) override;

private:
    struct StreamInfo {
        std::uint16_t number = 0;
        bool video = false;
        bool reorders = false;           // video whose pictures may be stored out of presentation order
        bool keyFlagsUntrusted = false;  // video whose file flags every picture as a keyframe
        AM_MEDIA_TYPE type;
        std::uint32_t bytesPerSecond = 0;  // audio: for sample end times
        std::uint8_t spreadSpan = 1;        // audio spread error correction
        std::uint16_t spreadPacketLength = 0;
        std::uint16_t spreadChunkLength = 0;
        bool waitingForKeyframe = false;
        std::optional<Outgoing> held;       // video: waits for the next object to learn its end
        std::optional<REFERENCE_TIME> lastSent;  // sound: the latest object sent since the seek
    };

    std::optional<asf::CutStart> SeekStart(REFERENCE_TIME time);
    std::optional<asf::CutStart> RealKeyframeAtOrBefore(const StreamInfo& s, const asf::CutStart& from);
    ComPtr<IMediaSample> MakeSampleFor(StreamInfo& s, std::vector<std::uint8_t> data, REFERENCE_TIME start, bool key);
    std::optional<Outgoing> ReleaseHeld(std::size_t pin, REFERENCE_TIME nextStart);
    bool RestartBeforeLostKeyframe();

    std::unique_ptr<asf::AsfFile> file_;
    std::unique_ptr<asf::MediaObjectReader> reader_;
    std::vector<StreamInfo> streams_;
    std::map<std::uint16_t, std::size_t> pinOfStream_;
    REFERENCE_TIME target_ = 0;
    REFERENCE_TIME keyTime_ = 0;  // the cut stream's keyframe the seek starts at
    std::uint16_t keyStream_ = 0;
    std::uint32_t prerollMs_ = 0;
    std::uint64_t playDuration_ = 0;  // preroll included; measured from the packets in live captures
    bool ended_ = false;
};

// The opener RenderFile uses for ASF files: VFW_E_UNKNOWN_FILE_TYPE for files that are not ASF.
HRESULT OpenAsfSource(const std::string& utf8Path, ComPtr<IBaseFilter>* out);

// Undoes audio spread error correction: the object's chunks were written column by column.
std::vector<std::uint8_t> UnspreadAudio(const std::vector<std::uint8_t>& data, std::uint8_t span, std::uint16_t packetLength,
                                        std::uint16_t chunkLength);

}  // namespace kestrine::platform
