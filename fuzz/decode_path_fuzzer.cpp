// libFuzzer target for playback: an arbitrary file goes through the ASF source, the FFmpeg
// decoders and the renderers' sample path. It is opened, its first picture cued, sought twice,
// then played to its end on a clock a thousand times as fast as real time; every shown picture is laid out
// as a renderer paints it. Each input is a real (in-memory) file, as the source reads a path.
#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/com/ComObject.h"
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/FilterInterfaces.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MemoryRenderer.h"
#include "platform/graph/VideoInfo.h"
#include "platform/render/PictureImage.h"

using namespace kestrine::platform;

namespace {

int InputFd()
{
    static int fd = [] {
        int f = ::memfd_create("decode-fuzz-input", 0);
        if (f < 0) std::abort();
        return f;
    }();
    return fd;
}

void WriteInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = InputFd();
    if (::ftruncate(fd, 0) != 0) std::abort();
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
}

// Real time sped up, so a long file plays out within an input's time.
class FastClock final : public ComObject<IReferenceClock> {
public:
    HRESULT GetTime(REFERENCE_TIME* time) override
    {
        if (time == nullptr) return E_POINTER;
        const auto elapsed = std::chrono::steady_clock::now() - started_;
        *time = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 10 * 1000;
        return S_OK;
    }

private:
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

void LayOut(MemoryRenderer& video)
{
    const auto shown = video.LastPresented();
    const auto layout = VideoInfo::Parse(video.ConnectedType());
    if (shown && layout) (void)PictureImage(shown->data, *layout);
}

void Play()
{
    ComPtr<IFilterGraph2> graph;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph))) std::abort();
    // Renderers of our own in the graph first, so sound needs no device.
    auto video = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
    auto sound = MakeComObject<MemoryRenderer>(MEDIATYPE_Audio, std::vector<GUID>{});
    graph->AddFilter(video.Get(), u"VideoWindow1");
    graph->AddFilter(sound.Get(), u"Audio Renderer");
    const std::string path = "/proc/self/fd/" + std::to_string(InputFd());
    if (FAILED(graph->RenderFile(ToWide(path).c_str(), nullptr))) return;

    auto control = graph.Query<IMediaControl>();
    auto position = graph.Query<IMediaPosition>();
    REFTIME duration = 0;
    position->get_Duration(&duration);
    OAFilterState state;
    control->Pause();
    control->GetState(2000, &state);
    LayOut(*video.Get());
    for (const double at : {duration / 2, duration * 0.9}) {
        position->put_CurrentPosition(at);
        LayOut(*video.Get());
    }
    graph.Query<IMediaFilter>()->SetSyncSource(MakeComObject<FastClock>().Get());
    control->Run();
    for (int waited = 0; waited < 400; ++waited) {
        const bool videoDone = !video->LastPresented() || video->CompletedSegment();
        if (videoDone && (sound->PresentedCount() == 0 || sound->CompletedSegment())) break;
        ::usleep(5000);
    }
    LayOut(*video.Get());
    control->Stop();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    if (FAILED(CoInitialize(nullptr))) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WriteInput(data, size);
    Play();
    return 0;
}
