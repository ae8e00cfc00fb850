#include "platform/graph/FfmpegDecoder.h"

#include "platform/graph/MediaSample.h"
#include "platform/graph/VideoInfo.h"
#include "platform/graph/WaveFormat.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>

namespace kestrine::platform {
namespace {

// Rows of whole 64-byte blocks: swscale's vector code writes in blocks and, on rows of other
// lengths, runs past the end of the last row.
int AlignedRowPixels(int width) { return (width + 15) & ~15; }

AVCodecID CodecIdFor(const AM_MEDIA_TYPE& t)
{
    const std::uint32_t tag = t.subtype.Data1;
    if (t.majortype == MEDIATYPE_Video && (t.formattype == FORMAT_VideoInfo || t.formattype == FORMAT_VideoInfo2)) {
        const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
        AVCodecID id = av_codec_get_id(tables, tag);
        if (id == AV_CODEC_ID_NONE) {
            // Tags are matched as stored; some files write them in lower case.
            std::uint32_t upper = 0;
            for (int i = 0; i < 4; ++i) {
                char c = static_cast<char>(tag >> (8 * i));
                if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
                upper |= static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << (8 * i);
            }
            id = av_codec_get_id(tables, upper);
        }
        return id;
    }
    if (t.majortype == MEDIATYPE_Audio && t.formattype == FORMAT_WaveFormatEx) {
        const AVCodecTag* const tables[] = {avformat_get_riff_audio_tags(), nullptr};
        return av_codec_get_id(tables, tag);
    }
    return AV_CODEC_ID_NONE;
}

// B-frames of these codecs are never referred to, so they are shown as soon as they are decoded.
PresentationOrder::Kind FrameKind(const AVCodecContext& c, const AVFrame& f)
{
    const bool unreferencedB = c.codec_id == AV_CODEC_ID_VC1 || c.codec_id == AV_CODEC_ID_WMV3 || c.codec_id == AV_CODEC_ID_MPEG4 ||
                               c.codec_id == AV_CODEC_ID_MPEG1VIDEO || c.codec_id == AV_CODEC_ID_MPEG2VIDEO;
    return unreferencedB && f.pict_type == AV_PICTURE_TYPE_B ? PresentationOrder::Kind::ShownAtOnce : PresentationOrder::Kind::Reference;
}

bool IsUncompressed(const AM_MEDIA_TYPE& t) { return t.subtype == MEDIASUBTYPE_RGB32 || t.subtype == MEDIASUBTYPE_PCM; }

}  // namespace

struct FfmpegDecoder::Codec {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    SwrContext* resampler = nullptr;
    bool video = false;
    int width = 0;
    int height = 0;
    int stride = 0;  // bytes per row of the pictures passed on
    int channels = 0;     // the codec's
    int outChannels = 0;  // passed on: the codec's, or a mix the renderer took
    int sampleRate = 0;

    ~Codec()
    {
        sws_freeContext(scaler);
        swr_free(&resampler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

bool FfmpegDecoder::CanDecode(const AM_MEDIA_TYPE& input)
{
    if (IsUncompressed(input)) return false;
    const AVCodecID id = CodecIdFor(input);
    return id != AV_CODEC_ID_NONE && avcodec_find_decoder(id) != nullptr;
}

bool FfmpegDecoder::MayReorder(const AM_MEDIA_TYPE& input)
{
    const AVCodecDescriptor* d = avcodec_descriptor_get(CodecIdFor(input));
    return d != nullptr && (d->props & AV_CODEC_PROP_REORDER) != 0;
}

ComPtr<IBaseFilter> FfmpegDecoder::CreateFor(const AM_MEDIA_TYPE& input)
{
    if (!CanDecode(input)) return nullptr;
    return MakeComObject<FfmpegDecoder>();
}

FfmpegDecoder::FfmpegDecoder() : Filter(kClsid)
{
    input_ = &AddPin(PINDIR_INPUT, u"In");
    output_ = &AddPin(PINDIR_OUTPUT, u"Out");
}

FfmpegDecoder::~FfmpegDecoder() = default;

std::string FfmpegDecoder::CodecName() const { return codec_ && codec_->context ? codec_->context->codec->name : ""; }

HRESULT FfmpegDecoder::OnStateChange(FILTER_STATE, FILTER_STATE, REFERENCE_TIME) { return S_OK; }

std::vector<AM_MEDIA_TYPE> FfmpegDecoder::PinMediaTypes(const Pin& pin)
{
    std::lock_guard lock(codecMutex_);
    return &pin == output_ ? outputTypes_ : std::vector<AM_MEDIA_TYPE>{};
}

HRESULT FfmpegDecoder::PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type)
{
    if (&pin == input_) return CanDecode(type) ? S_OK : S_FALSE;
    std::lock_guard lock(codecMutex_);
    return std::find(outputTypes_.begin(), outputTypes_.end(), type) != outputTypes_.end() ? S_OK : S_FALSE;
}

namespace {

// What the renderer is offered for pictures: top-down BGRA in rows of whole 64-byte blocks, in the
// shape the file states or else the one in the codec's own set-up.
AM_MEDIA_TYPE PictureType(const AVCodecContext& c, const VideoInfo& in, int width, int height)
{
    VideoInfo picture;
    picture.width = width;
    picture.height = height;
    picture.rowPixels = AlignedRowPixels(width);
    picture.topDown = true;
    picture.bitCount = 32;
    picture.frameTime = in.frameTime;
    picture.sizeImage = static_cast<std::uint32_t>(picture.PictureBytes());
    if (in.aspectX > 0) {
        picture.aspectX = in.aspectX;
        picture.aspectY = in.aspectY;
    } else {
        picture.SetPixelAspect(c.sample_aspect_ratio.num, c.sample_aspect_ratio.den);
    }
    AM_MEDIA_TYPE out;
    out.majortype = MEDIATYPE_Video;
    out.subtype = MEDIASUBTYPE_RGB32;
    out.formattype = picture.FormatType();
    out.bFixedSizeSamples = true;
    out.lSampleSize = picture.sizeImage;
    out.format = picture.FormatBlock();
    return out;
}

// What the renderer is offered for sound: 16-bit PCM with the codec's channels, and where there are
// more than two a stereo mix for devices that take no more.
std::vector<AM_MEDIA_TYPE> SoundTypes(int channels, int sampleRate)
{
    std::vector<AM_MEDIA_TYPE> types;
    for (const int n : {channels, 2}) {
        if (n > channels || (!types.empty() && n == channels)) continue;
        AM_MEDIA_TYPE out;
        out.majortype = MEDIATYPE_Audio;
        out.subtype = MEDIASUBTYPE_PCM;
        out.formattype = FORMAT_WaveFormatEx;
        out.bFixedSizeSamples = true;
        const WaveFormat pcm = WaveFormat::Pcm(n, sampleRate, 16);
        out.lSampleSize = pcm.blockAlign;
        out.format = pcm.FormatBlock();
        types.push_back(std::move(out));
    }
    return types;
}

}  // namespace

HRESULT FfmpegDecoder::PinConnected(Pin& pin)
{
    if (&pin == output_) {
        // The sound mix follows the channels the renderer took.
        const std::optional<WaveFormat> taken = WaveFormat::Parse(pin.ConnectedType());
        std::lock_guard lock(codecMutex_);
        if (codec_ && !codec_->video && taken) {
            codec_->outChannels = taken->channels;
            swr_free(&codec_->resampler);
        }
        return S_OK;
    }
    const AM_MEDIA_TYPE in = pin.ConnectedType();
    const AVCodec* decoder = avcodec_find_decoder(CodecIdFor(in));
    if (decoder == nullptr) return VFW_E_NO_DECOMPRESSOR;
    auto codec = std::make_unique<Codec>();
    codec->context = avcodec_alloc_context3(decoder);
    codec->frame = av_frame_alloc();
    codec->packet = av_packet_alloc();
    if (!codec->context || !codec->frame || !codec->packet) return E_OUTOFMEMORY;
    AVCodecContext* c = codec->context;
    c->codec_tag = in.subtype.Data1;

    std::vector<BYTE> extra;
    const std::optional<VideoInfo> inVideo = VideoInfo::Parse(in);
    const std::optional<WaveFormat> inSound = WaveFormat::Parse(in);
    if (in.majortype == MEDIATYPE_Video) {
        if (!inVideo) return VFW_E_INVALIDMEDIATYPE;
        codec->video = true;
        c->width = inVideo->width;
        c->height = inVideo->height;
        c->bits_per_coded_sample = inVideo->bitCount;
        extra = inVideo->codecData;
    } else {
        if (!inSound || inSound->samplesPerSecond == 0) return VFW_E_INVALIDMEDIATYPE;
        c->sample_rate = static_cast<int>(inSound->samplesPerSecond);
        c->bit_rate = static_cast<std::int64_t>(inSound->averageBytesPerSecond) * 8;
        c->block_align = inSound->blockAlign;
        c->bits_per_coded_sample = inSound->bitsPerSample;
        av_channel_layout_default(&c->ch_layout, inSound->channels > 0 ? inSound->channels : 2);
        extra = inSound->extra;
    }
    if (!extra.empty()) {
        c->extradata = static_cast<std::uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c->extradata) return E_OUTOFMEMORY;
        std::memcpy(c->extradata, extra.data(), extra.size());
        c->extradata_size = static_cast<int>(extra.size());
    }
    c->thread_count = 1;  // one core per decoder: the streams decode side by side
    if (avcodec_open2(c, decoder, nullptr) < 0) return VFW_E_NO_DECOMPRESSOR;

    std::vector<AM_MEDIA_TYPE> out;
    if (codec->video) {
        codec->width = inVideo->width;
        codec->height = inVideo->height;
        out.push_back(PictureType(*c, *inVideo, codec->width, codec->height));
        codec->stride = static_cast<int>(VideoInfo::Parse(out.front())->Stride());
    } else {
        // The codec's own set-up (WMA Pro's channel mask, say) may tell more channels than the header.
        codec->channels = c->ch_layout.nb_channels > 0 ? c->ch_layout.nb_channels : inSound->channels;
        codec->outChannels = codec->channels;
        codec->sampleRate = c->sample_rate;
        out = SoundTypes(codec->channels, codec->sampleRate);
    }
    std::lock_guard lock(codecMutex_);
    codec_ = std::move(codec);
    outputTypes_ = std::move(out);
    return S_OK;
}

void FfmpegDecoder::PinDisconnected(Pin& pin)
{
    if (&pin != input_) return;
    std::lock_guard lock(codecMutex_);
    codec_.reset();
    outputTypes_.clear();
    order_.Clear();
    nextStart_.reset();
    soundFrom_.reset();
    soundPlayedFrom_.reset();
}

HRESULT FfmpegDecoder::DeliverFrame() { return codec_->video ? DeliverPicture() : DeliverSound(); }

HRESULT FfmpegDecoder::DeliverPicture()
{
    Codec& c = *codec_;
    AVFrame* f = c.frame;
    const std::optional<REFERENCE_TIME> own = f->pts != AV_NOPTS_VALUE ? std::optional<REFERENCE_TIME>(f->pts) : std::nullopt;
    std::optional<REFERENCE_TIME> start = order_.Next(own, FrameKind(*c.context, *f));
    // The frames the codec still holds at the end of the stream may come without a time: they follow
    // the frame before. With none before in this segment there is no place for them.
    if (!start) start = nextStart_;
    if (!start) return S_OK;
    if (prerollTimes_.erase(*start) > 0) return S_OK;  // decoded only to reach a later frame
    c.scaler = sws_getCachedContext(c.scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), c.width, c.height, AV_PIX_FMT_BGRA,
                                    SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!c.scaler) return E_FAIL;
    std::vector<BYTE> bytes(static_cast<std::size_t>(c.stride) * static_cast<std::size_t>(c.height));
    std::uint8_t* planes[1] = {bytes.data()};
    const int strides[1] = {c.stride};
    sws_scale(c.scaler, f->data, f->linesize, 0, f->height, planes, strides);
    const REFERENCE_TIME stop = *start + (f->pkt_duration > 0 ? f->pkt_duration : 1);
    nextStart_ = stop;
    ComPtr<IMediaSample> sample = MakeSample(std::move(bytes), *start, stop, true);
    return output_->Deliver(sample.Get());
}

// Sound is laid end to end from its first block after a start or seek. Object times in files are
// those of chunks of the coded stream, not of the sound they hold (lossless and VBR codecs put very
// different lengths of sound in each, and decoders hold some back), so placing each decoded block at
// a packet's time would overlap or leave holes. Only a jump far beyond the sound so far (a capture
// that lost a stretch) moves the sound on.
HRESULT FfmpegDecoder::DeliverSound()
{
    // The codec's time for the first block counts the priming samples it dropped, a fraction of a
    // second; further from the first object than this, it is a later object's time given to sound
    // the codec held back, which begins with the first object.
    constexpr REFERENCE_TIME kLongestPriming = kUnitsPerSecond / 4;
    constexpr REFERENCE_TIME kGapToFollow = 2 * kUnitsPerSecond;
    Codec& c = *codec_;
    AVFrame* f = c.frame;
    const std::int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    REFERENCE_TIME start = 0;
    if (nextStart_) start = pts != AV_NOPTS_VALUE && pts > *nextStart_ + kGapToFollow ? pts : *nextStart_;
    else if (pts != AV_NOPTS_VALUE && (!soundFrom_ || pts - *soundFrom_ < kLongestPriming)) start = pts;
    else if (soundFrom_) start = *soundFrom_;
    else return S_OK;  // no time to place it at
    if (!c.resampler) {
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, c.outChannels);  // fewer than the codec's: swresample mixes down
        if (swr_alloc_set_opts2(&c.resampler, &outLayout, AV_SAMPLE_FMT_S16, c.sampleRate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
            swr_init(c.resampler) < 0)
            return E_FAIL;
    }
    const int capacity = swr_get_out_samples(c.resampler, f->nb_samples);
    std::vector<BYTE> bytes(static_cast<std::size_t>(std::max(capacity, 0)) * static_cast<std::size_t>(c.outChannels) * 2);
    std::uint8_t* planes[1] = {bytes.data()};
    const int got = swr_convert(c.resampler, planes, capacity, const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    if (got <= 0) return S_OK;
    bytes.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(c.outChannels) * 2);
    const REFERENCE_TIME stop = start + static_cast<REFERENCE_TIME>(got) * kUnitsPerSecond / c.sampleRate;
    nextStart_ = stop;
    // Sound from objects sent as preroll only primed the codec: what ends before the first object to
    // be played is not passed on.
    if (!soundPlayedFrom_ || stop <= *soundPlayedFrom_) return S_OK;
    ComPtr<IMediaSample> sample = MakeSample(std::move(bytes), start, stop, true);
    return output_->Deliver(sample.Get());
}

HRESULT FfmpegDecoder::DrainFrames()
{
    for (;;) {
        const int r = avcodec_receive_frame(codec_->context, codec_->frame);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return S_OK;
        if (r < 0) return S_OK;  // a damaged frame is skipped; the next keyframe recovers
        const HRESULT hr = DeliverFrame();
        av_frame_unref(codec_->frame);
        if (hr != S_OK) return hr;
    }
}

HRESULT FfmpegDecoder::PinReceive(Pin&, IMediaSample* sample)
{
    if (State() == State_Stopped) return VFW_E_WRONG_STATE;
    if (flushing_) return S_FALSE;
    std::lock_guard lock(codecMutex_);
    if (!codec_) return VFW_E_NOT_CONNECTED;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const int size = sample->GetActualDataLength();
    if (av_new_packet(codec_->packet, size) < 0) return E_OUTOFMEMORY;
    if (size > 0) std::memcpy(codec_->packet->data, data, static_cast<std::size_t>(size));
    codec_->packet->pts = timed ? start : AV_NOPTS_VALUE;
    codec_->packet->duration = timed && stop > start + 1 ? stop - start : 0;
    if (sample->IsSyncPoint() == S_OK) codec_->packet->flags |= AV_PKT_FLAG_KEY;
    const bool preroll = sample->IsPreroll() == S_OK;
    if (timed && preroll && codec_->video) prerollTimes_.insert(start);
    const int sent = avcodec_send_packet(codec_->context, codec_->packet);
    av_packet_unref(codec_->packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) return S_OK;  // undecodable data: skip it, keep streaming
    if (timed && codec_->video) order_.Sent(start);
    if (timed && !codec_->video && !soundFrom_) soundFrom_ = start;
    if (timed && !codec_->video && !preroll && !soundPlayedFrom_) soundPlayedFrom_ = start;
    return DrainFrames();
}

HRESULT FfmpegDecoder::PinEndOfStream(Pin&)
{
    {
        std::lock_guard lock(codecMutex_);
        if (codec_ && !flushing_) {
            avcodec_send_packet(codec_->context, nullptr);
            DrainFrames();
            avcodec_flush_buffers(codec_->context);
            prerollTimes_.clear();
            order_.Clear();
            nextStart_.reset();
            soundFrom_.reset();
            soundPlayedFrom_.reset();
        }
    }
    return output_->DeliverEndOfStream();
}

HRESULT FfmpegDecoder::PinBeginFlush(Pin&)
{
    flushing_ = true;
    return output_->DeliverBeginFlush();
}

HRESULT FfmpegDecoder::PinEndFlush(Pin&)
{
    {
        std::lock_guard lock(codecMutex_);
        if (codec_) avcodec_flush_buffers(codec_->context);
        if (codec_ && codec_->resampler) swr_init(codec_->resampler);
        prerollTimes_.clear();
        order_.Clear();
        nextStart_.reset();
        soundFrom_.reset();
        soundPlayedFrom_.reset();
        flushing_ = false;
    }
    return output_->DeliverEndFlush();
}

HRESULT FfmpegDecoder::PinNewSegment(Pin&, REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return output_->DeliverNewSegment(start, stop, rate);
}

struct IntraPictureProbe::Codec {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    ~Codec()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

IntraPictureProbe::IntraPictureProbe(const AM_MEDIA_TYPE& type)
{
    const std::optional<VideoInfo> info = VideoInfo::Parse(type);
    const AVCodec* decoder = avcodec_find_decoder(CodecIdFor(type));
    if (!info || decoder == nullptr) return;
    auto codec = std::make_unique<Codec>();
    codec->context = avcodec_alloc_context3(decoder);
    codec->frame = av_frame_alloc();
    codec->packet = av_packet_alloc();
    if (!codec->context || !codec->frame || !codec->packet) return;
    AVCodecContext* c = codec->context;
    c->codec_tag = type.subtype.Data1;
    c->width = info->width;
    c->height = info->height;
    c->thread_count = 1;
    if (!info->codecData.empty()) {
        c->extradata = static_cast<std::uint8_t*>(av_mallocz(info->codecData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c->extradata) return;
        std::memcpy(c->extradata, info->codecData.data(), info->codecData.size());
        c->extradata_size = static_cast<int>(info->codecData.size());
    }
    if (avcodec_open2(c, decoder, nullptr) < 0) return;
    codec_ = std::move(codec);
}

IntraPictureProbe::~IntraPictureProbe() = default;

std::optional<bool> IntraPictureProbe::IsIntra(std::span<const BYTE> picture)
{
    if (!codec_ || picture.empty() || picture.size() > static_cast<std::size_t>(INT32_MAX - AV_INPUT_BUFFER_PADDING_SIZE)) return std::nullopt;
    AVCodecContext* c = codec_->context;
    avcodec_flush_buffers(c);
    if (av_new_packet(codec_->packet, static_cast<int>(picture.size())) < 0) return std::nullopt;
    std::memcpy(codec_->packet->data, picture.data(), picture.size());
    const int sent = avcodec_send_packet(c, codec_->packet);
    av_packet_unref(codec_->packet);
    if (sent < 0) return std::nullopt;
    avcodec_send_packet(c, nullptr);  // a codec that holds pictures back gives this one up now
    std::optional<bool> intra;
    while (avcodec_receive_frame(c, codec_->frame) == 0) {
        if (!intra) intra = codec_->frame->pict_type == AV_PICTURE_TYPE_I;
        av_frame_unref(codec_->frame);
    }
    avcodec_flush_buffers(c);
    return intra;
}

}  // namespace kestrine::platform
