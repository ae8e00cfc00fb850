#include "platform/graph/AsfSource.h"

#include "asf/AsfFile.h"
#include "asf/FormatError.h"
#include "asf/MediaObjects.h"
#include "asf/PlaybackStreams.h"
#include "asf/PlayedLength.h"
#include "asf/SpanSearch.h"
#include "platform/graph/FfmpegDecoder.h"
#include "platform/graph/MediaSample.h"
#include "platform/graph/SourceOpeners.h"
#include "platform/graph/VideoInfo.h"
#include "platform/graph/WaveFormat.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace kestrine::platform {
namespace {

constexpr REFERENCE_TIME kMs = 10'000;

// A stream's number-valued metadata ("AspectRatioX" and the like), 0 when the file has none.
std::int64_t StreamMetadataNumber(const asf::Header& h, std::uint16_t stream, std::string_view name)
{
    for (const asf::Descriptor& d : h.metadata) {
        if (d.streamNumber != stream || d.name != name || d.dataType < 3 || d.dataType > 5) continue;
        std::int64_t v = 0;
        for (std::size_t i = d.value.size(); i-- > 0 && i < 8;) v = (v << 8) | d.value[i];
        return v;
    }
    return 0;
}

// The stream's bitmap header as the file stores it, with the frame time and the pixels' shape the
// file states; nothing when it is unusable.
std::optional<AM_MEDIA_TYPE> VideoType(const asf::Header& h, const asf::StreamProperties& s, REFERENCE_TIME frameTime)
{
    std::optional<VideoInfo> info = VideoInfo::FromBitmapInfo(s.video->formatData, frameTime);
    if (!info) return std::nullopt;
    info->SetPixelAspect(StreamMetadataNumber(h, s.number, "AspectRatioX"), StreamMetadataNumber(h, s.number, "AspectRatioY"));
    AM_MEDIA_TYPE t;
    t.majortype = MEDIATYPE_Video;
    t.subtype = SubtypeFromTag(s.video->compression);
    t.formattype = info->FormatType();
    t.bTemporalCompression = true;
    t.format = info->FormatBlock();
    return t;
}

// WAVEFORMATEX with the codec's extra bytes.
AM_MEDIA_TYPE AudioType(const asf::StreamProperties& s)
{
    const asf::AudioFormat& a = *s.audio;
    const WaveFormat w{a};
    AM_MEDIA_TYPE t;
    t.majortype = MEDIATYPE_Audio;
    t.subtype = SubtypeFromTag(a.formatTag);
    t.formattype = FORMAT_WaveFormatEx;
    t.format = w.FormatBlock();
    t.lSampleSize = a.blockAlign;
    return t;
}

// Whether the file flags every picture of a video stream as a keyframe, judged by its first ones:
// then the flags say nothing and seeks must find the real keyframes themselves.
bool FlagsEveryObjectKey(const asf::AsfFile& file, std::uint16_t stream)
{
    constexpr int kPictures = 32;
    int seen = 0;
    try {
        asf::MediaObjectReader reader(file, 0);
        asf::MediaObject object;
        while (seen < kPictures && reader.Next(object)) {
            if (object.streamNumber != stream) continue;
            if (!object.keyFrame) return false;
            ++seen;
        }
    } catch (const std::exception&) {
        return false;
    }
    return seen == kPictures;
}

// Whether the file stops before its header and the Data Object's own header are whole: a file cut
// short before its first packet, rather than one whose header is damaged.
bool EndsBeforeFirstPacket(const std::string& utf8Path)
{
    constexpr std::uint64_t kObjectHeader = 24;
    constexpr std::uint64_t kDataObjectHeader = 50;
    std::ifstream in(utf8Path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const auto size = static_cast<std::uint64_t>(in.tellg());
    unsigned char head[kObjectHeader] = {};
    in.seekg(0);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (static_cast<std::uint64_t>(in.gcount()) < kObjectHeader) return true;
    std::uint64_t headerSize = 0;
    for (int i = 7; i >= 0; --i) headerSize = headerSize << 8 | head[16 + i];
    return headerSize >= kObjectHeader && size < headerSize + kDataObjectHeader;
}

}  // namespace

HRESULT OpenAsfSource(const std::string& utf8Path, ComPtr<IBaseFilter>* out)
{
    if (out == nullptr) return E_POINTER;
    unsigned char head[16] = {};
    {
        std::ifstream in(utf8Path, std::ios::binary);
        in.read(reinterpret_cast<char*>(head), sizeof head);
        if (!LooksLikeAsf(head, static_cast<std::size_t>(in.gcount()))) return VFW_E_UNKNOWN_FILE_TYPE;
    }
    ComPtr<AsfSource> source;
    const HRESULT hr = AsfSource::Open(utf8Path, &source);
    if (SUCCEEDED(hr)) *out = ComPtr<IBaseFilter>(static_cast<IBaseFilter*>(source.Get()));
    return hr;
}

std::vector<std::uint8_t> UnspreadAudio(const std::vector<std::uint8_t>& data, std::uint8_t span, std::uint16_t packetLength,
                                        std::uint16_t chunkLength)
{
    if (span <= 1 || chunkLength == 0 || packetLength == 0 || packetLength % chunkLength != 0) return data;
    const std::size_t chunks = data.size() / chunkLength;
    const std::size_t perRow = packetLength / chunkLength;
    if (chunks == 0 || chunks % span != 0) return data;
    std::vector<std::uint8_t> out(data);
    // The writer filled a span x perRow table row by row and sent it column by column.
    for (std::size_t k = 0; k < chunks; ++k) {
        const std::size_t row = k / span;
        const std::size_t col = k % span;
        const std::size_t from = row + col * perRow;
        if (from >= chunks) return data;
        std::memcpy(out.data() + k * chunkLength, data.data() + from * chunkLength, chunkLength);
    }
    return out;
}

HRESULT AsfSource::Open(const std::string& utf8Path, ComPtr<AsfSource>* out, std::string* reason)
{
    if (out == nullptr) return E_POINTER;
    try {
        auto file = std::make_unique<asf::AsfFile>(asf::AsfFile::Open(utf8Path));
        // Encrypted payloads would decode into garbage pictures and noise.
        if (asf::IsProtected(file->Header())) return HR_PROTECTED_CONTENT;
        if (file->Data().packetCount == 0) return VFW_E_FILE_TOO_SHORT;
        auto source = MakeComObject<AsfSource>(std::move(file));
        if (source->StreamCount() == 0) return VFW_E_UNSUPPORTED_STREAM;
        *out = source;
        return S_OK;
    } catch (const asf::FormatError& e) {
        if (reason) *reason = e.what();
        return EndsBeforeFirstPacket(utf8Path) ? VFW_E_FILE_TOO_SHORT : VFW_E_INVALID_FILE_FORMAT;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        if (reason) *reason = e.what();
        return HR_READ_FAULT;
    }
}

AsfSource::AsfSource(std::unique_ptr<asf::AsfFile> file) : PushSource(kClsid), file_(std::move(file))
{
    const asf::Header& h = file_->Header();
    prerollMs_ = static_cast<std::uint32_t>(h.fileProperties.prerollMs);
    playDuration_ = asf::PlayDuration(*file_);
    for (const std::uint16_t number : asf::PlaybackStreams(h)) {
        const asf::StreamProperties& s = *h.FindStream(number);
        StreamInfo info;
        info.number = s.number;
        if (s.kind == asf::StreamKind::Video && s.video) {
            const auto* ext = h.FindExtendedStreamProperties(s.number);
            const REFERENCE_TIME frameTime = ext && ext->averageTimePerFrame ? static_cast<REFERENCE_TIME>(ext->averageTimePerFrame) : 0;
            std::optional<AM_MEDIA_TYPE> type = VideoType(h, s, frameTime);
            if (!type) continue;  // a picture size no decoder could take
            info.video = true;
            info.reorders = FfmpegDecoder::MayReorder(*type);
            info.type = std::move(*type);
            info.keyFlagsUntrusted = FlagsEveryObjectKey(*file_, s.number);
        } else if (s.kind == asf::StreamKind::Audio && s.audio) {
            info.type = AudioType(s);
            info.bytesPerSecond = s.audio->averageBytesPerSecond;
            if (s.audioSpread) {
                info.spreadSpan = s.audioSpread->span;
                info.spreadPacketLength = s.audioSpread->virtualPacketLength;
                info.spreadChunkLength = s.audioSpread->virtualChunkLength;
            }
        } else {
            continue;
        }
        std::u16string name = info.video ? u"Video " : u"Audio ";
        name += static_cast<char16_t>(u'0' + static_cast<char16_t>(s.number / 10 % 10));
        name += static_cast<char16_t>(u'0' + static_cast<char16_t>(s.number % 10));
        pinOfStream_[s.number] = streams_.size();
        streams_.push_back(std::move(info));
        AddStreamPin(std::move(name));
    }
    SeekTo(0);
}

AsfSource::~AsfSource() { StopStreaming(); }

REFERENCE_TIME AsfSource::MediaDuration() const
{
    const auto preroll = static_cast<REFERENCE_TIME>(file_->Header().fileProperties.prerollMs) * kMs;
    return std::max<REFERENCE_TIME>(0, static_cast<REFERENCE_TIME>(playDuration_) - preroll);
}

std::vector<AM_MEDIA_TYPE> AsfSource::PinMediaTypes(const Pin& pin)
{
    const auto i = static_cast<std::size_t>(pin.Index());
    return i < streams_.size() ? std::vector<AM_MEDIA_TYPE>{streams_[i].type} : std::vector<AM_MEDIA_TYPE>{};
}

HRESULT AsfSource::SeekTo(REFERENCE_TIME time)
{
    target_ = time;
    ended_ = false;
    std::uint64_t first = 0;
    keyTime_ = 0;
    keyStream_ = 0;
    try {
        if (const auto cut = SeekStart(time)) {
            first = cut->readFrom;
            keyTime_ = cut->timeMs * kMs;
            keyStream_ = cut->stream;
        }
        reader_ = std::make_unique<asf::MediaObjectReader>(*file_, first);
    } catch (const std::exception&) {
        reader_ = std::make_unique<asf::MediaObjectReader>(*file_, 0);
    }
    for (StreamInfo& s : streams_) {
        s.waitingForKeyframe = s.video;
        s.held.reset();
        s.lastSent.reset();
    }
    return S_OK;
}

// A keyframe the seek started at may lie in an object the file was cut off in (a capture's last
// packet), so no picture came of it: decoding starts again from the keyframe before.
bool AsfSource::RestartBeforeLostKeyframe()
{
    const auto key = pinOfStream_.find(keyStream_);
    if (keyTime_ <= 0 || key == pinOfStream_.end() || !streams_[key->second].video || !streams_[key->second].waitingForKeyframe)
        return false;
    try {
        const auto earlier = asf::FindCutStart(*file_, keyStream_, keyTime_ - kMs, /*atOrBefore=*/true);
        if (!earlier || earlier->timeMs * kMs >= keyTime_) return false;
        reader_ = std::make_unique<asf::MediaObjectReader>(*file_, earlier->readFrom);
        keyTime_ = earlier->timeMs * kMs;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Where decoding starts for a seek: at the rendered video stream's keyframe at or before the time
// (else the audio's object). Where pictures are stored out of order, the picture shown at or after a
// keyframe may be one of its leading B-frames, which need the group before: decoding starts a
// keyframe earlier. Where the file flags every picture as a keyframe, the real ones are found by
// decoding each alone, going back from the time.
std::optional<asf::CutStart> AsfSource::SeekStart(REFERENCE_TIME time)
{
    auto key = std::find_if(streams_.begin(), streams_.end(), [](const StreamInfo& s) { return s.video; });
    if (key == streams_.end()) key = streams_.begin();
    if (key == streams_.end()) return std::nullopt;
    std::optional<asf::CutStart> cut = asf::FindCutStart(*file_, key->number, time, /*atOrBefore=*/true);
    if (cut && key->keyFlagsUntrusted) cut = RealKeyframeAtOrBefore(*key, *cut);
    if (cut && key->reorders) {
        if (auto earlier = asf::FindCutStart(*file_, key->number, cut->timeMs * kMs - kMs, /*atOrBefore=*/true); earlier && earlier->timeMs < cut->timeMs) {
            if (key->keyFlagsUntrusted) earlier = RealKeyframeAtOrBefore(*key, *earlier);
            cut = earlier;
        }
    }
    return cut;
}

// The last picture at or before `from` that decodes on its own, or the first of the stream.
std::optional<asf::CutStart> AsfSource::RealKeyframeAtOrBefore(const StreamInfo& s, const asf::CutStart& from)
{
    IntraPictureProbe probe(s.type);
    REFERENCE_TIME back = 8 * kUnitsPerSecond;  // real keyframes come every few seconds; look further when not
    for (;;) {
        const auto window = asf::FindCutStart(*file_, s.number, from.timeMs * kMs - back, /*atOrBefore=*/true);
        if (!window) return from;
        std::vector<asf::MediaObject> pictures;
        asf::MediaObjectReader reader(*file_, window->packet);
        asf::MediaObject object;
        while (reader.Next(object)) {
            if (object.streamNumber != s.number) continue;
            if (file_->TimelineMs(object.presentationTimeMs) > from.timeMs) break;
            if (file_->TimelineMs(object.presentationTimeMs) >= window->timeMs) pictures.push_back(std::move(object));
        }
        for (auto p = pictures.rbegin(); p != pictures.rend(); ++p)
            if (probe.IsIntra(p->data).value_or(false))
                return asf::FindCutStart(*file_, s.number, file_->TimelineMs(p->presentationTimeMs) * kMs, /*atOrBefore=*/true);
        // Nothing stands alone: start at the stream's first picture once the look reaches it.
        if (window->packet == 0 || from.timeMs * kMs - back < 0) return window;
        back *= 2;
    }
}

ComPtr<IMediaSample> AsfSource::MakeSampleFor(StreamInfo& s, std::vector<std::uint8_t> data, REFERENCE_TIME start, bool key)
{
    REFERENCE_TIME stop = start + 1;
    if (!s.video && s.bytesPerSecond > 0)
        stop = start + static_cast<REFERENCE_TIME>(data.size()) * kUnitsPerSecond / s.bytesPerSecond;
    return MakeSample(std::move(data), start, stop, key);
}

std::optional<PushSource::Outgoing> AsfSource::ReleaseHeld(std::size_t pin, REFERENCE_TIME nextStart)
{
    StreamInfo& s = streams_[pin];
    std::optional<Outgoing> out = std::move(s.held);
    s.held.reset();
    if (!out) return out;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    out->sample->GetTime(&start, &stop);
    if (nextStart > start) {
        stop = nextStart;
        out->sample->SetTime(&start, &stop);
    }
    // A frame is only needed for the picture at the target when it is still showing there.
    if (nextStart > start && stop <= target_) out->sample->SetPreroll(1);
    return out;
}

std::optional<PushSource::Outgoing> AsfSource::ReadNext()
{
    asf::MediaObject object;
    while (!ended_) {
        bool got = false;
        try {
            got = reader_->Next(object);
        } catch (const std::exception&) {
            got = false;  // a damaged tail ends the stream; what was read plays
        }
        if (!got) {
            if (RestartBeforeLostKeyframe()) continue;
            ended_ = true;
            break;
        }
        const auto it = pinOfStream_.find(object.streamNumber);
        if (it == pinOfStream_.end()) continue;
        StreamInfo& s = streams_[it->second];
        const REFERENCE_TIME start = file_->TimelineMs(object.presentationTimeMs) * kMs;
        if (s.video) {
            if (s.waitingForKeyframe) {
                // Decoding starts at a keyframe: at the cut point's for its stream, at the first one for others.
                if (!object.keyFrame || (object.streamNumber == keyStream_ && start < keyTime_)) continue;
                s.waitingForKeyframe = false;
            }
            std::optional<Outgoing> ready = ReleaseHeld(it->second, start);
            s.held = Outgoing{it->second, MakeSampleFor(s, std::move(object.data), start, object.keyFrame)};
            if (ready) return ready;
            continue;
        }
        std::vector<std::uint8_t> data = s.spreadSpan > 1
                                             ? UnspreadAudio(object.data, s.spreadSpan, s.spreadPacketLength, s.spreadChunkLength)
                                             : std::move(object.data);
        ComPtr<IMediaSample> sample = MakeSampleFor(s, std::move(data), start, true);
        REFERENCE_TIME a = 0;
        REFERENCE_TIME b = 0;
        sample->GetTime(&a, &b);
        if (b <= target_) continue;  // sound before the target is not played
        if (s.lastSent && start <= *s.lastSent) continue;  // sent before a restart
        s.lastSent = start;
        return Outgoing{it->second, std::move(sample)};
    }
    // At the end, the frames still held go out as they are.
    for (std::size_t i = 0; i < streams_.size(); ++i)
        if (streams_[i].held) return ReleaseHeld(i, 0);
    return std::nullopt;
}

}  // namespace kestrine::platform
