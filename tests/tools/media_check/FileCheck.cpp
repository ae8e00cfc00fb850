#include "FileCheck.h"

#include "FfmpegOracle.h"
#include "PictureMatch.h"

#include "asf/AsfFile.h"
#include "doubles/ManualReferenceClock.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/ErrorText.h"
#include "platform/com/WideString.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MemoryRenderer.h"
#include "platform/graph/VideoInfo.h"
#include "platform/render/AudioRenderer.h"
#include "platform/render/PictureImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

namespace kestrine::mediacheck {

using namespace kestrine::platform;

namespace {

constexpr double kSecond = static_cast<double>(kUnitsPerSecond);
constexpr double kPlaySeconds = 3.0;
constexpr int kSpreadSeeks = 12;
constexpr int kKeyframeSeeks = 5;

std::string At(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", seconds);
    return text;
}

std::vector<ComPtr<IBaseFilter>> Filters(IFilterGraph* graph)
{
    std::vector<ComPtr<IBaseFilter>> out;
    ComPtr<IEnumFilters> e;
    graph->EnumFilters(e.GetAddressOf());
    ComPtr<IBaseFilter> f;
    while (e && e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK) out.push_back(f);
    return out;
}

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION direction)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.GetAddressOf()))) return {};
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d;
        if (SUCCEEDED(pin->QueryDirection(&d)) && d == direction) return pin;
    }
    return {};
}

// The ASF stream a renderer shows: the source's pins are named after their stream numbers
// ("Video 02"), one decoder upstream of the renderer.
int StreamNumberFeeding(IBaseFilter* renderer)
{
    ComPtr<IPin> pin = FirstPin(renderer, PINDIR_INPUT);
    for (int hop = 0; pin && hop < 4; ++hop) {
        ComPtr<IPin> upstream;
        if (FAILED(pin->ConnectedTo(upstream.GetAddressOf()))) return -1;
        PIN_INFO info;
        upstream->QueryPinInfo(&info);
        ComPtr<IBaseFilter> owner;
        owner.Attach(info.pFilter);
        const std::u16string name(info.achName);
        if (name.size() > 2 && (name.starts_with(u"Video ") || name.starts_with(u"Audio ")))
            return (name[name.size() - 2] - u'0') * 10 + (name.back() - u'0');
        pin = FirstPin(owner.Get(), PINDIR_INPUT);
    }
    return -1;
}

// FFmpeg's index of an ASF stream: FFmpeg lists them in the header's order of stream numbers.
int ProbeIndexOf(const std::filesystem::path& file, int streamNumber, const ProbedFile& probe)
{
    try {
        const auto asf = asf::AsfFile::Open(file);
        const auto& streams = asf.Header().streams;
        if (streams.size() != probe.streams.size()) return -1;
        for (std::size_t i = 0; i < streams.size(); ++i)
            if (streams[i].number == streamNumber) return static_cast<int>(i);
    } catch (const std::exception&) {
    }
    return -1;
}

// The names of this process's threads.
std::multiset<std::string> Threads()
{
    std::multiset<std::string> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        names.insert(name);
    }
    return names;
}

double MedianSpacing(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i)
        if (times[i] > times[i - 1]) gaps.push_back(times[i] - times[i - 1]);
    if (gaps.empty()) return 0;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

std::vector<double> TimesOf(const std::vector<ProbedObject>& objects)
{
    std::vector<double> times;
    for (const auto& o : objects) times.push_back(o.seconds);
    return times;
}

bool FfmpegDecodesSomething(const ProbedFile& probe)
{
    if (probe.protectedContent) return false;
    return std::any_of(probe.streams.begin(), probe.streams.end(),
                       [](const ProbedStream& s) { return (s.kind == "video" || s.kind == "audio") && s.codec != "unknown"; });
}

// Whether a refusal is right: it says what is wrong, and FFmpeg agrees there is nothing to play.
std::vector<std::string> JudgeRefusal(HRESULT hr, const ProbedFile& probe, bool hasObjects)
{
    const std::string text = ErrorText(hr);
    const bool notMedia = !probe.readable || probe.formatName != "asf" || !hasObjects;
    bool fair = false;
    if (hr == HR_PROTECTED_CONTENT) fair = probe.protectedContent;
    else if (hr == VFW_E_UNKNOWN_FILE_TYPE || hr == VFW_E_INVALID_FILE_FORMAT || hr == VFW_E_FILE_TOO_SHORT) fair = notMedia;
    else if (hr == VFW_E_UNSUPPORTED_STREAM || hr == VFW_E_CANNOT_RENDER) fair = !FfmpegDecodesSomething(probe);
    if (fair && !text.empty()) return {};
    return {"refused (" + text + ") though FFmpeg plays it"};
}

class Check {
public:
    Check(std::filesystem::path file, CheckOptions options) : file_(std::move(file)), options_(options) {}

    std::vector<std::string> Run()
    {
        probe_ = ProbeFile(file_);
        objects_ = ProbeObjects(file_);
        if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph_)) ||
            FAILED(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC, IID_IBaseFilter,
                                    reinterpret_cast<void**>(videoFilter_.GetAddressOf()))) ||
            FAILED(graph_->AddFilter(videoFilter_.Get(), u"VideoWindow1")))
            return {"cannot make the graph"};
        const HRESULT hr = graph_->RenderFile(ToWide(file_.string()).c_str(), nullptr);
        if (FAILED(hr)) return JudgeRefusal(hr, probe_, !objects_.empty());
        if (probe_.protectedContent) Fail("plays protected content");

        control_ = graph_.Query<IMediaControl>();
        position_ = graph_.Query<IMediaPosition>();
        FindRenderers();
        CheckDuration();
        if (video_) CheckSeeks();
        CheckPlay();
        control_->Stop();
        return reasons_;
    }

private:
    void Fail(std::string reason) { reasons_.push_back(std::move(reason)); }

    void FindRenderers()
    {
        ComPtr<IPin> in = FirstPin(videoFilter_.Get(), PINDIR_INPUT);
        ComPtr<IPin> connected;
        if (in && SUCCEEDED(in->ConnectedTo(connected.GetAddressOf()))) {
            video_ = static_cast<MemoryRenderer*>(videoFilter_.Get());
            videoIndex_ = ProbeIndexOf(file_, StreamNumberFeeding(videoFilter_.Get()), probe_);
            if (videoIndex_ >= 0) videoTimes_ = TimesOf(objects_[videoIndex_]);
            std::sort(videoTimes_.begin(), videoTimes_.end());
        }
        for (const auto& f : Filters(graph_.Get()))
            if (auto* sound = dynamic_cast<AudioRenderer*>(f.Get())) {
                sound_ = sound;
                soundIndex_ = ProbeIndexOf(file_, StreamNumberFeeding(f.Get()), probe_);
            }
        if (!video_ && !sound_) Fail("renders no stream");
    }

    // One frame of the shown video, else the spacing of the sound's objects.
    double FrameSeconds()
    {
        double frame = videoIndex_ >= 0 ? MedianSpacing(videoTimes_) : 0;
        if (frame <= 0 && soundIndex_ >= 0) frame = MedianSpacing(TimesOf(objects_[soundIndex_]));
        return std::max(frame, 0.001);
    }

    // FFmpeg's length: the header's; else (a live capture, a file cut short) where the last object
    // ends, a frame after its start where FFmpeg gives no length. The file may end inside the last
    // object of a stream, which FFmpeg passes on and we leave out (with pictures stored out of
    // order, also the pictures it would have preceded): ours may then end as early as the objects
    // before it.
    void CheckDuration()
    {
        REFTIME ours = -1;
        position_->get_Duration(&ours);
        const double frame = FrameSeconds();
        double expected = probe_.durationSeconds;
        double earliest = expected;
        if (expected <= 0)
            for (const auto& [index, list] : objects_)
                for (std::size_t i = 0; i < list.size(); ++i) {
                    const double end = list[i].seconds + (list[i].lengthSeconds > 0 ? list[i].lengthSeconds : frame);
                    expected = std::max(expected, end);
                    if (i + 1 < list.size()) earliest = std::max(earliest, end);
                }
        if (ours > expected + frame + 0.0005 || ours < earliest - frame - 0.0005)
            Fail("lasts " + At(ours) + ", FFmpeg " + At(expected));
    }

    void CheckSeeks()
    {
        const auto layout = VideoInfo::Parse(video_->ConnectedType());
        if (!layout || videoIndex_ < 0 || videoTimes_.empty()) {
            Fail("cannot tell which stream the picture shows");
            return;
        }
        REFTIME duration = 0;
        position_->get_Duration(&duration);
        std::vector<double> seeks;
        for (const auto& o : objects_[videoIndex_])
            if (o.key && seeks.size() < kKeyframeSeeks) seeks.push_back(o.seconds);
        for (int i = 0; i < kSpreadSeeks; ++i) seeks.push_back(duration * (i + 0.5) / kSpreadSeeks);
        // Without a length in the header the file may end inside its last object, which FFmpeg
        // passes on and we leave out: the last picture is not compared there.
        if (probe_.durationSeconds <= 0)
            std::erase_if(seeks, [&](double t) { return videoTimes_.size() > 1 && t >= videoTimes_.back(); });

        const auto frameAt = [&](double t) {
            const auto after = std::upper_bound(videoTimes_.begin(), videoTimes_.end(), t + 1e-6);
            return static_cast<int>(std::max<std::ptrdiff_t>(0, after - videoTimes_.begin() - 1));
        };
        std::vector<int> wanted;
        for (const double t : seeks)
            for (const int n : {frameAt(t) - 1, frameAt(t), frameAt(t) + 1, frameAt(t) + options_.frameShift})
                if (n >= 0 && n < static_cast<int>(videoTimes_.size())) wanted.push_back(n);
        std::map<int, QImage> theirs;
        for (auto& [n, picture] : DecodePictures(file_, videoIndex_, QSize(layout->width, layout->height), wanted))
            theirs.emplace(n, Thumbnail(picture));

        if (FAILED(control_->Pause())) {
            Fail("does not pause");
            return;
        }
        for (const double t : seeks) {
            if (FAILED(position_->put_CurrentPosition(t))) {
                Fail("seek to " + At(t) + " fails");
                continue;
            }
            const auto shown = video_->LastPresented();
            if (!shown) {
                Fail("seek to " + At(t) + " shows no picture");
                continue;
            }
            const int n = frameAt(t);
            const int expected = n + options_.frameShift;
            const double shownAt = static_cast<double>(shown->mediaTime) / kSecond;
            if (options_.frameShift == 0 && std::abs(shownAt - videoTimes_[static_cast<std::size_t>(n)]) > 0.0015)
                Fail("seek to " + At(t) + " shows the picture of " + At(shownAt) + ", not of " + At(videoTimes_[static_cast<std::size_t>(n)]));
            if (!theirs.contains(expected)) {
                Fail("FFmpeg gives no picture " + std::to_string(expected) + " for " + At(t));
                continue;
            }
            const QImage ours = Thumbnail(PictureImage(shown->data, *layout));
            const double same = Psnr(ours, theirs[expected]);
            if (same < kSamePictureDb) {
                char db[32];
                std::snprintf(db, sizeof db, "%.1f dB", same);
                Fail("seek to " + At(t) + " shows a picture " + db + " from FFmpeg's");
                continue;
            }
            // Where the neighbouring pictures differ from it, ours must be nearer to FFmpeg's.
            for (const int m : {expected - 1, expected + 1}) {
                if (!theirs.contains(m) || Psnr(theirs[m], theirs[expected]) >= kSamePictureDb) continue;
                if (Psnr(ours, theirs[m]) > same) Fail("seek to " + At(t) + " shows the neighbouring picture");
            }
        }
    }

    // Plays from the start on a clock running four times as fast as real time.
    void CheckPlay()
    {
        control_->Stop();
        position_->put_CurrentPosition(0);
        auto clock = MakeComObject<ManualReferenceClock>();
        clock->SetTime(kUnitsPerSecond);
        graph_.Query<IMediaFilter>()->SetSyncSource(clock.Get());

        std::mutex mutex;
        std::vector<REFERENCE_TIME> pictures;
        std::vector<std::pair<double, double>> blocks;  // start and end of each sound block, in seconds
        if (video_) video_->SetPresentedObserver([&](const MemoryRenderer::Frame& f) {
            std::lock_guard lock(mutex);
            pictures.push_back(f.mediaTime);
        });
        if (sound_) sound_->SetHeardObserver([&](const AudioRenderer::Heard& h) {
            const double bytesPerSecond = static_cast<double>(h.channels) * h.bitsPerSample / 8 * h.sampleRate;
            const double start = static_cast<double>(h.mediaTime) / kSecond;
            std::lock_guard lock(mutex);
            blocks.emplace_back(start, start + (bytesPerSecond > 0 ? static_cast<double>(h.size) / bytesPerSecond : 0));
        });
        if (FAILED(control_->Run())) Fail("does not run");
        REFTIME duration = 0;
        position_->get_Duration(&duration);
        const double span = std::min(kPlaySeconds, duration + 0.2);
        for (double played = 0; played < span; played += 0.02) {
            clock->Advance(kUnitsPerSecond / 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            QCoreApplication::processEvents();
        }
        control_->Stop();
        if (video_) video_->SetPresentedObserver(nullptr);
        if (sound_) sound_->SetHeardObserver(nullptr);

        std::lock_guard lock(mutex);
        if (video_ && pictures.empty() && !videoTimes_.empty()) Fail("play shows no picture");
        for (std::size_t i = 1; i < pictures.size(); ++i)
            if (pictures[i] <= pictures[i - 1]) {
                Fail("play shows the picture of " + At(static_cast<double>(pictures[i]) / kSecond) + " after that of " +
                     At(static_cast<double>(pictures[i - 1]) / kSecond));
                break;
            }
        if (sound_ && blocks.empty() && soundIndex_ >= 0 && !objects_[soundIndex_].empty()) Fail("play gives no sound");
        for (std::size_t i = 1; i < blocks.size(); ++i)
            if (blocks[i].first < blocks[i - 1].second - 0.0005) {
                Fail("sound at " + At(blocks[i].first) + " overlaps the block before, which ends at " + At(blocks[i - 1].second));
                break;
            }
    }

    const std::filesystem::path file_;
    const CheckOptions options_;
    ProbedFile probe_;
    std::map<int, std::vector<ProbedObject>> objects_;
    std::vector<std::string> reasons_;
    ComPtr<IFilterGraph2> graph_;
    ComPtr<IBaseFilter> videoFilter_;
    ComPtr<IMediaControl> control_;
    ComPtr<IMediaPosition> position_;
    MemoryRenderer* video_ = nullptr;  // the renderers stay alive with the graph
    AudioRenderer* sound_ = nullptr;
    int videoIndex_ = -1;
    int soundIndex_ = -1;
    std::vector<double> videoTimes_;  // the shown stream's presentation times: its objects' times, sorted
};

}  // namespace

std::vector<std::string> CheckFile(const std::filesystem::path& file, const CheckOptions& options)
{
    const auto before = Threads();
    auto reasons = Check(file, options).Run();
    // The graph is gone: its threads must end with it. Qt's shared pool (which scales pictures)
    // keeps idle threads for a while; they are Qt's, and let go here.
    QThreadPool::globalInstance()->waitForDone(3000);
    std::vector<std::string> left;
    QElapsedTimer waited;
    waited.start();
    do {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        left.clear();
        auto now = Threads();
        for (const auto& name : before)
            if (auto it = now.find(name); it != now.end()) now.erase(it);
        left.assign(now.begin(), now.end());
    } while (!left.empty() && waited.elapsed() < 3000);
    if (!left.empty()) {
        std::string names;
        for (const auto& n : left) names += (names.empty() ? "" : ", ") + n;
        reasons.push_back(std::to_string(left.size()) + " thread(s) left running (" + names + ")");
    }
    return reasons;
}

}  // namespace kestrine::mediacheck
