// Audio against video: how far apart the sound and the picture of the same instant are rendered.
// A file made by ffmpeg carries a white flash frame in black video and a 1 kHz tone burst in
// silence at every whole second from 1 s on (wmv2 + wmav2 in ASF). Played through our graph (our
// ASF source, FFmpeg's decoders, the audio renderer as reference clock with the silent sink, or
// the device where there is one), each mark's offset is when its tone began to sound minus when
// its flash was shown, by the reference clock. The peer is the same offsets in ffmpeg's own
// decode of the file: the flash frame's timestamp (ffprobe -show_frames) against the time of the
// tone's first non-silent sample.
//
// Then the editor's way of loading: one graph kept across loads, emptied but for the video
// window and given the next file, on a stand-in device that holds 80 ms of sound of its own;
// av_sync_max_offset_after_reload is the worst offset, by what the device really sounded against
// when the flash was shown, over the second and third load. And the GUI thread held up for 3 s
// during playback: audio_underruns_during_gui_stall counts the 10 ms blocks of silence the device
// had to make up, beside the same device fed from the stalled thread itself.
// Usage: av_sync [work directory]
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/EventCodes.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MemoryRenderer.h"
#include "platform/graph/ReferenceClocks.h"
#include "platform/render/AudioRenderer.h"
#include "platform/render/SoundOutput.h"
#include "doubles/SimulatedSoundSink.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace kestrine::platform;

namespace {

constexpr int kSeconds = 6;
constexpr int kLoud = 6554;  // a fifth of full scale: the tone is at half

std::string Quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs a command and gives what it printed (the bench's own fixed commands only).
std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::filesystem::path Make(const std::filesystem::path& dir)
{
    const auto file = dir / "av-marks-6s.wmv";
    if (std::filesystem::exists(file)) return file;
    const std::string s = std::to_string(kSeconds);
    const std::string video = "color=c=black:s=320x240:r=25:d=" + s +
                              ",drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:enable='gte(n\\,25)*eq(mod(n\\,25)\\,0)'";
    const std::string audio = "aevalsrc='0.5*sin(2*PI*1000*t)*gte(t\\,1)*lt(mod(t\\,1)\\,0.1)':s=44100:d=" + s;
    std::system(("ffmpeg -v error -y -f lavfi -i " + Quoted(video) + " -f lavfi -i " + Quoted(audio) +
                 " -c:v wmv2 -g 25 -b:v 400k -c:a wmav2 -b:a 64k -ac 1 -f asf " + Quoted(file.string()))
                    .c_str());
    return file;
}

// First onsets per whole second: time of the first flash frame and of the first loud sample.
struct Onsets {
    std::map<int, double> flash;  // mark second -> seconds (clock or stream time)
    std::map<int, double> tone;
};

int MarkOf(double mediaSeconds)
{
    const long r = std::lround(mediaSeconds);
    return std::abs(mediaSeconds - static_cast<double>(r)) < 0.3 && r >= 1 ? static_cast<int>(r) : 0;
}

std::map<int, double> Offsets(const Onsets& o)
{
    std::map<int, double> out;
    for (const auto& [mark, f] : o.flash)
        if (o.tone.count(mark)) out[mark] = (o.tone.at(mark) - f) * 1000.0;
    return out;
}

double MaxAbs(const std::map<int, double>& offsets)
{
    double m = 0;
    for (const auto& [mark, ms] : offsets) m = std::max(m, std::abs(ms));
    return m;
}

// ---- ffmpeg's decode -----------------------------------------------------------------------

Onsets FfmpegOnsets(const std::filesystem::path& file)
{
    Onsets o;
    // Mean luma of each frame with its timestamp.
    const std::string frames = Output("ffprobe -v error -f lavfi -i " + Quoted("movie=" + file.string() + ",signalstats") +
                                      " -show_entries frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of csv=p=0");
    std::size_t at = 0;
    while (at < frames.size()) {
        const std::size_t end = frames.find('\n', at);
        const std::string line = frames.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? frames.size() : end + 1;
        double t = 0;
        double y = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf", &t, &y) == 2 && y > 128) {
            const int mark = MarkOf(t);
            if (mark && !o.flash.count(mark)) o.flash[mark] = t;
        }
    }
    // The decoded sound from the timestamp of its first frame on.
    double first = 0;
    std::sscanf(Output("ffprobe -v error -select_streams a -show_entries frame=pts_time -of csv=p=0 -read_intervals %+#16 " + Quoted(file.string()))
                    .c_str(),
                "%lf", &first);
    const std::string pcm = Output("ffmpeg -v error -i " + Quoted(file.string()) + " -map 0:a -f s16le -ac 1 -ar 44100 -");
    for (std::size_t i = 0; i + 2 <= pcm.size(); i += 2) {
        std::int16_t v;
        std::memcpy(&v, pcm.data() + i, 2);
        if (std::abs(int(v)) < kLoud) continue;
        const double t = first + static_cast<double>(i / 2) / 44100.0;
        const int mark = MarkOf(t);
        if (mark && !o.tone.count(mark)) o.tone[mark] = t;
    }
    return o;
}

// ---- our graph -----------------------------------------------------------------------------

class Recorder {
public:
    void Flash(double clock, double media)
    {
        std::lock_guard lock(mutex_);
        if (const int mark = MarkOf(media); mark && !onsets_.flash.count(mark)) onsets_.flash[mark] = clock;
    }
    void Tone(double clock, double media)
    {
        std::lock_guard lock(mutex_);
        if (const int mark = MarkOf(media); mark && !onsets_.tone.count(mark)) onsets_.tone[mark] = clock;
    }
    Onsets Get() const
    {
        std::lock_guard lock(mutex_);
        return onsets_;
    }

private:
    mutable std::mutex mutex_;
    Onsets onsets_;
};

double Seconds(REFERENCE_TIME t) { return static_cast<double>(t) / kUnitsPerSecond; }

double SteadySeconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

class PictureTap final : public MemoryRenderer {
public:
    explicit PictureTap(Recorder& r) : MemoryRenderer(MEDIATYPE_Video, {MEDIASUBTYPE_RGB32}), recorder_(&r) {}

    void Use(Recorder& r)
    {
        std::lock_guard lock(mutex_);
        recorder_ = &r;
        shown_.clear();
    }
    // Steady-clock seconds each flash was shown, by mark.
    std::map<int, double> FlashesShown() const
    {
        std::lock_guard lock(mutex_);
        return shown_;
    }

protected:
    void Present(const Frame& frame) override
    {
        const REFERENCE_TIME now = ClockNow(Clock().Get());
        const double steady = SteadySeconds();
        std::uint64_t sum = 0;
        std::size_t n = 0;
        for (std::size_t i = 1; i < frame.data.size(); i += 4 * 61, ++n) sum += frame.data[i];
        if (n == 0 || sum / n <= 128) return;
        std::lock_guard lock(mutex_);
        recorder_->Flash(Seconds(now), Seconds(frame.mediaTime));
        if (const int mark = MarkOf(Seconds(frame.mediaTime)); mark && !shown_.count(mark)) shown_[mark] = steady;
    }

private:
    mutable std::mutex mutex_;
    Recorder* recorder_;
    std::map<int, double> shown_;
};

using kestrine::platform::testing::SimulatedSoundSink;

void UseSimulatedDevice(AudioRenderer& sound, const std::shared_ptr<SimulatedSoundSink::Shared>& shared)
{
    sound.SetOutputOpener([shared](const QAudioFormat& format) {
        return SoundOutput::Over(
            [format, shared] {
                return std::make_unique<SimulatedSoundSink>(format.bytesForDuration(1'000'000), format.bytesPerFrame(),
                                                            std::chrono::milliseconds(80), shared);
            },
            format);
    });
}

void Pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Worst |sounded - shown| over the marks, in ms, by the device's account; -1 when a mark is missing.
double DeviceOffsetMs(const std::map<int, double>& flashes, SimulatedSoundSink::Shared& device)
{
    std::vector<double> tones;
    {
        std::lock_guard lock(device.mutex);
        tones = device.toneSounded;
    }
    if (flashes.size() != kSeconds - 1) return -1;
    double worst = 0;
    for (const auto& [mark, shown] : flashes) {
        double nearest = 1e9;
        for (double t : tones)
            if (std::abs(t - shown) < std::abs(nearest)) nearest = t - shown;
        worst = std::max(worst, std::abs(nearest) * 1000);
    }
    return worst;
}

struct Reloads {
    std::vector<double> offsetsMs;  // per load, by the device's account
    int underrunsDuringStall = -1;
};

// One graph for every load, as an editor pane keeps it: stop, every filter but the video window
// out, a new audio renderer, the next file in. The last load is played with the GUI thread held
// up for 3 s.
Reloads PlayReloads(const std::filesystem::path& file, int loads)
{
    Reloads result;
    Recorder unused;
    ComPtr<IFilterGraph2> graph;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph))) return result;
    auto control = graph.Query<IMediaControl>();
    auto position = graph.Query<IMediaPosition>();
    auto picture = MakeComObject<PictureTap>(unused);
    graph->AddFilter(picture.Get(), u"VideoWindow1");
    for (int load = 1; load <= loads + 1; ++load) {
        const bool stall = load == loads + 1;
        control->Stop();
        std::vector<ComPtr<IBaseFilter>> filters;
        ComPtr<IEnumFilters> list;
        graph->EnumFilters(list.GetAddressOf());
        for (ComPtr<IBaseFilter> f; list->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK;) filters.push_back(f);
        for (const ComPtr<IBaseFilter>& f : filters)
            if (!IsSameObject(f.Get(), static_cast<IBaseFilter*>(picture.Get()))) graph->RemoveFilter(f.Get());
        Recorder recorder;
        picture->Use(recorder);
        auto device = std::make_shared<SimulatedSoundSink::Shared>();
        auto sound = MakeComObject<AudioRenderer>();
        UseSimulatedDevice(*sound, device);
        graph->AddFilter(sound.Get(), u"Audio Renderer");
        if (FAILED(graph->RenderFile(ToWide(file.string()).c_str(), nullptr))) return result;
        control->Run();
        QElapsedTimer timer;
        timer.start();
        bool stalled = false;
        while (!(sound->CompletedSegment() && picture->CompletedSegment()) && timer.elapsed() < (kSeconds + 10) * 1000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            REFTIME at = 0;
            position->get_CurrentPosition(&at);
            if (stall && !stalled && at >= 0.5) {
                std::this_thread::sleep_for(std::chrono::seconds(3));
                stalled = true;
            }
        }
        control->Stop();
        if (stall) {
            std::lock_guard lock(device->mutex);
            result.underrunsDuringStall = device->underruns;
        } else {
            result.offsetsMs.push_back(DeviceOffsetMs(picture->FlashesShown(), *device));
        }
        picture->Use(unused);
    }
    control->Stop();
    return result;
}

// The peer: the same device living on the GUI thread, fed from there, while that thread sleeps 3 s.
int UnderrunsFedFromStalledThread()
{
    auto device = std::make_shared<SimulatedSoundSink::Shared>();
    PcmQueue queue(2, 0);
    queue.open(QIODevice::ReadOnly);
    SimulatedSoundSink sink(88200, 2, std::chrono::milliseconds(80), device);
    sink.Start(&queue);
    Pump(500);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    Pump(500);
    sink.Stop();
    std::lock_guard lock(device->mutex);
    return device->underruns;
}

struct Played {
    Onsets onsets;
    bool device = false;
    bool completed = false;
};

Played PlayOurs(const std::filesystem::path& file)
{
    Played result;
    Recorder recorder;
    ComPtr<IFilterGraph2> graph;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph))) return result;
    auto picture = MakeComObject<PictureTap>(recorder);
    auto sound = MakeComObject<AudioRenderer>();
    sound->SetHeardObserver([&recorder](const AudioRenderer::Heard& h) {
        if (h.bitsPerSample != 16 || h.floatSamples || h.channels <= 0 || h.sampleRate <= 0) return;
        const std::size_t frame = static_cast<std::size_t>(h.channels) * 2;
        for (std::size_t i = 0; i + frame <= h.size; i += frame) {
            std::int16_t v;
            std::memcpy(&v, h.data + i, 2);
            if (std::abs(int(v)) < kLoud) continue;
            const double offset = static_cast<double>(i / frame) / h.sampleRate;
            recorder.Tone(Seconds(h.clockTime) + offset, Seconds(h.mediaTime) + offset);
            return;
        }
    });
    graph->AddFilter(picture.Get(), u"VideoWindow1");
    graph->AddFilter(sound.Get(), u"Audio Renderer");
    if (FAILED(graph->RenderFile(ToWide(file.string()).c_str(), nullptr))) return result;
    result.device = sound->PlaysToDevice();
    // A sound server may take a second or so to start a new stream; measured is playback after it.
    if (result.device) {
        QElapsedTimer warm;
        warm.start();
        while (warm.elapsed() < 1500) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    auto control = graph.Query<IMediaControl>();
    control->Run();
    QElapsedTimer timer;
    timer.start();
    while (!(sound->CompletedSegment() && picture->CompletedSegment()) && timer.elapsed() < (kSeconds + 10) * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    result.completed = sound->CompletedSegment() && picture->CompletedSegment();
    control->Stop();
    sound->SetHeardObserver({});
    result.onsets = recorder.Get();
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::filesystem::path dir = argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path() / "kestrine-bench";
    std::filesystem::create_directories(dir);
    const auto file = Make(dir);
    if (!std::filesystem::exists(file)) {
        std::fprintf(stderr, "av_sync: ffmpeg could not make %s\n", file.string().c_str());
        return 1;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    const Played ours = PlayOurs(file);
    const Reloads reloads = PlayReloads(file, 3);
    CoUninitialize();
    const int peerUnderruns = UnderrunsFedFromStalledThread();
    const auto oursOffsets = Offsets(ours.onsets);
    const auto peerOffsets = Offsets(FfmpegOnsets(file));

    std::printf("# marks every second from 1 s; offset = tone onset - flash, ms (%s)\n", ours.device ? "sound device" : "silent sink");
    std::printf("# mark   kestrine   ffmpeg\n");
    for (int mark = 1; mark < kSeconds; ++mark) {
        const auto a = oursOffsets.find(mark);
        const auto b = peerOffsets.find(mark);
        std::printf("# %4d %10s %8s\n", mark, a == oursOffsets.end() ? "missing" : std::to_string(a->second).substr(0, 6).c_str(),
                    b == peerOffsets.end() ? "missing" : std::to_string(b->second).substr(0, 6).c_str());
    }
    bool complete = ours.completed && oursOffsets.size() == kSeconds - 1 && peerOffsets.size() == kSeconds - 1;
    std::printf("# one graph, loads 1 to %zu, stand-in device of 80 ms: sounded - shown, worst mark, ms:", reloads.offsetsMs.size());
    double afterReload = 0;
    for (std::size_t i = 0; i < reloads.offsetsMs.size(); ++i) {
        std::printf(" %.1f", reloads.offsetsMs[i]);
        if (reloads.offsetsMs[i] < 0) complete = false;
        if (i > 0) afterReload = std::max(afterReload, reloads.offsetsMs[i]);
    }
    std::printf("\n");
    if (reloads.offsetsMs.size() < 3 || reloads.underrunsDuringStall < 0) complete = false;
    std::printf("BENCH av_sync_max_offset %.1f ms\n", MaxAbs(oursOffsets));
    std::printf("BENCH av_sync_max_offset_ffmpeg %.1f ms\n", MaxAbs(peerOffsets));
    std::printf("BENCH av_sync_max_offset_after_reload %.1f ms\n", afterReload);
    std::printf("BENCH av_sync_max_offset_first_load_simulated_device %.1f ms\n", reloads.offsetsMs.empty() ? -1.0 : reloads.offsetsMs[0]);
    std::printf("BENCH audio_underruns_during_gui_stall %d count\n", reloads.underrunsDuringStall);
    std::printf("BENCH audio_underruns_during_gui_stall_fed_from_gui_thread %d count\n", peerUnderruns);
    if (!complete) std::fprintf(stderr, "av_sync: not every mark was seen in both streams\n");
    return complete ? 0 : 1;
}
