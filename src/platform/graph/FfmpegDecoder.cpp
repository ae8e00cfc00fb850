#include "platform/graph/FfmpegDecoder.h"

#include "platform/graph/MediaSample.h"
#include "platform/graph/VideoInfo.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <cstring>

namespace kestrine::platform {
namespace {

std::uint32_t Get32(const std::vector<BYTE>& v, std::size_t at)
{
    if (at + 4 > v.size()) return 0;
    return static_cast<std::uint32_t>(v[at]) | static_cast<std::uint32_t>(v[at + 1]) << 8 | static_cast<std::uint32_t>(v[at + 2]) << 16 |
           static_cast<std::uint32_t>(v[at + 3]) << 24;
}

std::uint16_t Get16(const std::vector<BYTE>& v, std::size_t at)
{
    if (at + 2 > v.size()) return 0;
    return static_cast<std::uint16_t>(v[at] | v[at + 1] << 8);
}

void Put32(std::vector<BYTE>& v, std::size_t at, std::uint32_t x)
{
    for (int i = 0; i < 4; ++i) v[at + static_cast<std::size_t>(i)] = static_cast<BYTE>(x >> (8 * i));
}

void Put16(std::vector<BYTE>& v, std::size_t at, std::uint16_t x)
{
    v[at] = static_cast<BYTE>(x);
    v[at + 1] = static_cast<BYTE>(x >> 8);
}

constexpr std::size_t kWaveFormatSize = 18;

// Rows of whole 64-byte blocks: swscale's vector code writes in blocks and, on rows of other
// lengths, runs past the end of the last row.
int AlignedRowPixels(int width) { return (width + 15) & ~15; }

AVCodecID CodecIdFor(const AM_MEDIA_TYPE& t)
{
    const std::uint32_t tag = t.subtype.Data1;
    if (t.majortype == MEDIATYPE_Video && t.formattype == FORMAT_VideoInfo) {
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
    int channels = 0;
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
    if (&pin == output_ && outputType_) return {*outputType_};
    return {};
}

HRESULT FfmpegDecoder::PinCheckMediaType(const Pin& pin, const AM_MEDIA_TYPE& type)
{
    if (&pin == input_) return CanDecode(type) ? S_OK : S_FALSE;
    return outputType_ && type == *outputType_ ? S_OK : S_FALSE;
}

HRESULT FfmpegDecoder::PinConnected(Pin& pin)
{
    if (&pin != input_) return S_OK;
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
    std::optional<VideoInfo> inVideo;
    if (in.majortype == MEDIATYPE_Video) {
        inVideo = VideoInfo::Parse(in);
        if (!inVideo) return VFW_E_INVALIDMEDIATYPE;
        codec->video = true;
        c->width = inVideo->width;
        c->height = inVideo->height;
        c->bits_per_coded_sample = inVideo->bitCount;
        extra = inVideo->codecData;
        codec->width = c->width;
        codec->height = c->height;
    } else {
        const int channels = Get16(in.format, 2);
        c->sample_rate = static_cast<int>(Get32(in.format, 4));
        c->bit_rate = static_cast<std::int64_t>(Get32(in.format, 8)) * 8;
        c->block_align = Get16(in.format, 12);
        c->bits_per_coded_sample = Get16(in.format, 14);
        av_channel_layout_default(&c->ch_layout, channels > 0 ? channels : 2);
        const std::size_t cb = Get16(in.format, 16);
        if (in.format.size() >= kWaveFormatSize + cb && cb > 0)
            extra.assign(in.format.begin() + kWaveFormatSize, in.format.begin() + static_cast<std::ptrdiff_t>(kWaveFormatSize + cb));
        codec->channels = c->ch_layout.nb_channels;
        codec->sampleRate = c->sample_rate;
    }
    if (!extra.empty()) {
        c->extradata = static_cast<std::uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!c->extradata) return E_OUTOFMEMORY;
        std::memcpy(c->extradata, extra.data(), extra.size());
        c->extradata_size = static_cast<int>(extra.size());
    }
    c->thread_count = 1;  // one core per decoder: the streams decode side by side
    if (avcodec_open2(c, decoder, nullptr) < 0) return VFW_E_NO_DECOMPRESSOR;

    AM_MEDIA_TYPE out;
    if (codec->video) {
        VideoInfo picture;
        picture.width = codec->width;
        picture.height = codec->height;
        picture.rowPixels = AlignedRowPixels(codec->width);
        picture.topDown = true;
        picture.bitCount = 32;
        picture.frameTime = inVideo->frameTime;
        picture.sizeImage = static_cast<std::uint32_t>(picture.PictureBytes());
        out.majortype = MEDIATYPE_Video;
        out.subtype = MEDIASUBTYPE_RGB32;
        out.formattype = FORMAT_VideoInfo;
        out.bFixedSizeSamples = true;
        out.lSampleSize = picture.sizeImage;
        out.format = picture.FormatBlock();
        codec->stride = static_cast<int>(picture.Stride());
    } else {
        out.majortype = MEDIATYPE_Audio;
        out.subtype = MEDIASUBTYPE_PCM;
        out.formattype = FORMAT_WaveFormatEx;
        out.bFixedSizeSamples = true;
        out.format.assign(kWaveFormatSize, 0);
        const auto blockAlign = static_cast<std::uint16_t>(codec->channels * 2);
        Put16(out.format, 0, 1);
        Put16(out.format, 2, static_cast<std::uint16_t>(codec->channels));
        Put32(out.format, 4, static_cast<std::uint32_t>(codec->sampleRate));
        Put32(out.format, 8, static_cast<std::uint32_t>(codec->sampleRate) * blockAlign);
        Put16(out.format, 12, blockAlign);
        Put16(out.format, 14, 16);
        out.lSampleSize = blockAlign;
    }
    std::lock_guard lock(codecMutex_);
    codec_ = std::move(codec);
    outputType_ = out;
    return S_OK;
}

void FfmpegDecoder::PinDisconnected(Pin& pin)
{
    if (&pin != input_) return;
    std::lock_guard lock(codecMutex_);
    codec_.reset();
    outputType_.reset();
    nextStart_.reset();
}

HRESULT FfmpegDecoder::DeliverFrame()
{
    Codec& c = *codec_;
    AVFrame* f = c.frame;
    std::int64_t pts = f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    if (pts == AV_NOPTS_VALUE) {
        // The frames the codec still holds at the end of the stream come without a time: they
        // follow the frame before. With none before in this segment there is no place for it.
        if (!nextStart_) return S_OK;
        pts = *nextStart_;
    }
    const bool preroll = prerollTimes_.erase(pts) > 0;
    if (preroll) return S_OK;  // decoded only to reach a later frame
    std::vector<BYTE> bytes;
    REFERENCE_TIME start = pts;
    REFERENCE_TIME stop = start + 1;
    if (c.video) {
        c.scaler = sws_getCachedContext(c.scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), c.width, c.height, AV_PIX_FMT_BGRA,
                                        SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!c.scaler) return E_FAIL;
        bytes.resize(static_cast<std::size_t>(c.stride) * static_cast<std::size_t>(c.height));
        std::uint8_t* planes[1] = {bytes.data()};
        const int strides[1] = {c.stride};
        sws_scale(c.scaler, f->data, f->linesize, 0, f->height, planes, strides);
        if (f->pkt_duration > 0) stop = start + f->pkt_duration;
    } else {
        if (!c.resampler) {
            AVChannelLayout outLayout;
            av_channel_layout_default(&outLayout, c.channels);
            if (swr_alloc_set_opts2(&c.resampler, &outLayout, AV_SAMPLE_FMT_S16, c.sampleRate, &f->ch_layout,
                                    static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
                swr_init(c.resampler) < 0)
                return E_FAIL;
        }
        const int capacity = swr_get_out_samples(c.resampler, f->nb_samples);
        bytes.resize(static_cast<std::size_t>(std::max(capacity, 0)) * static_cast<std::size_t>(c.channels) * 2);
        std::uint8_t* planes[1] = {bytes.data()};
        const int got = swr_convert(c.resampler, planes, capacity, const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
        if (got <= 0) return S_OK;
        bytes.resize(static_cast<std::size_t>(got) * static_cast<std::size_t>(c.channels) * 2);
        stop = start + static_cast<REFERENCE_TIME>(got) * kUnitsPerSecond / c.sampleRate;
    }
    nextStart_ = stop;
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
    if (timed && sample->IsPreroll() == S_OK) prerollTimes_.insert(start);
    const int sent = avcodec_send_packet(codec_->context, codec_->packet);
    av_packet_unref(codec_->packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) return S_OK;  // undecodable data: skip it, keep streaming
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
            nextStart_.reset();
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
        nextStart_.reset();
        flushing_ = false;
    }
    return output_->DeliverEndFlush();
}

HRESULT FfmpegDecoder::PinNewSegment(Pin&, REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return output_->DeliverNewSegment(start, stop, rate);
}

}  // namespace kestrine::platform
