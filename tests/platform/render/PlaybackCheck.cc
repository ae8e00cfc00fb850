// Plays a file in a classic renderer window on a real display and checks that it plays: the
// window is top-level (no owner), the file runs for 3 s, and the window is grabbed from the
// screen twice about a second apart. Prints the stream position at each grab and whether the
// pictures differ and are not black; exits 1 when the position did not advance or the pictures
// are black or equal, 77 when the file is missing, 2 when the graph cannot play it.
//
// Usage: kestrine_playback_check FILE     (needs a display: run it under xvfb-run)
// KESTRINE_PLAYBACK_SHOTS=DIR keeps the two grabs there as PNG files.
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/render/RendererInterfaces.h"
#include "platform/render/RendererWidget.h"
#include "platform/render/VideoRendererFilter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace kestrine::platform;

namespace {

void PumpFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// What the display shows of the window (the widget's own painting where the screen gives nothing).
QImage GrabWindow(QWidget* window)
{
    QImage shot;
    if (QScreen* screen = window->screen()) shot = screen->grabWindow(window->winId()).toImage();
    if (shot.isNull() || shot.width() == 0) shot = window->grab().toImage();
    return shot.convertToFormat(QImage::Format_RGB32);
}

// The share of pixels that are not near black.
double LitShare(const QImage& image)
{
    if (image.isNull()) return 0;
    std::size_t lit = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 24 || qGreen(p) > 24 || qBlue(p) > 24) ++lit;
        }
    return static_cast<double>(lit) / (static_cast<double>(image.width()) * image.height());
}

// The share of pixels that changed noticeably between two pictures of one size.
double ChangedShare(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull()) return 1;
    std::size_t changed = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > 24) ++changed;
        }
    return static_cast<double>(changed) / (static_cast<double>(a.width()) * a.height());
}

int Check(const std::filesystem::path& file)
{
    ComPtr<IFilterGraph2> graph;
    ComPtr<IBaseFilter> renderer;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, &graph)) ||
        FAILED(CoCreateInstance(CLSID_VideoRenderer, nullptr, CLSCTX_INPROC, IID_IBaseFilter, reinterpret_cast<void**>(renderer.GetAddressOf()))) ||
        FAILED(graph->AddFilter(renderer.Get(), u"VideoWindow1"))) {
        std::printf("cannot make the graph and its classic renderer\n");
        return 2;
    }
    if (FAILED(graph->RenderFile(ToWide(file.string()).c_str(), nullptr))) {
        std::printf("cannot render %s\n", file.string().c_str());
        return 2;
    }
    auto window = renderer.Query<IVideoWindow>();
    auto control = graph.Query<IMediaControl>();
    auto position = graph.Query<IMediaPosition>();
    window->put_Owner(0);
    window->put_Caption(ToWide("Playback check").c_str());
    window->SetWindowPosition(40, 40, 384, 288);
    window->put_Visible(OATRUE);
    QWidget* shown = static_cast<VideoRendererFilter*>(renderer.Get())->Widget();
    if (shown == nullptr || !shown->isWindow()) {
        std::printf("the renderer has no top-level window\n");
        return 2;
    }
    if (FAILED(control->Run())) {
        std::printf("the graph does not run\n");
        return 2;
    }
    REFTIME first = 0;
    REFTIME second = 0;
    PumpFor(1000);
    position->get_CurrentPosition(&first);
    const QImage a = GrabWindow(shown);
    PumpFor(1000);
    position->get_CurrentPosition(&second);
    const QImage b = GrabWindow(shown);
    PumpFor(1000);
    REFTIME last = 0;
    position->get_CurrentPosition(&last);
    control->Stop();

    // KESTRINE_PLAYBACK_SHOTS=DIR keeps both grabs there for a person to look at.
    if (const char* dir = std::getenv("KESTRINE_PLAYBACK_SHOTS")) {
        a.save(QString::fromStdString((std::filesystem::path(dir) / "first-grab.png").string()));
        b.save(QString::fromStdString((std::filesystem::path(dir) / "second-grab.png").string()));
    }
    const double litA = LitShare(a);
    const double litB = LitShare(b);
    const double changed = ChangedShare(a, b);
    const bool advanced = second > first + 0.5;
    const bool black = litA < 0.05 || litB < 0.05;
    const bool differ = changed > 0.01;
    std::printf("platform: %s\n", QGuiApplication::platformName().toUtf8().constData());
    std::printf("window: %dx%d, top-level, grabbed %dx%d\n", shown->width(), shown->height(), a.width(), a.height());
    std::printf("position at first grab: %.3f s\n", first);
    std::printf("position at second grab: %.3f s\n", second);
    std::printf("position after 3 s: %.3f s\n", last);
    std::printf("pictures not black: %s (lit %.0f %% and %.0f %%)\n", black ? "no" : "yes", litA * 100, litB * 100);
    std::printf("pictures differ: %s (%.1f %% of pixels changed)\n", differ ? "yes" : "no", changed * 100);
    const bool ok = advanced && !black && differ;
    std::printf("%s\n", ok ? "playback check passed" : "playback check FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::printf("usage: kestrine_playback_check FILE\n");
        return 2;
    }
    const std::filesystem::path file = argv[1];
    if (!std::filesystem::exists(file)) {
        std::printf("no such file: %s\n", file.string().c_str());
        return 77;
    }
    if (FAILED(CoInitialize(nullptr))) return 2;
    const int rc = Check(file);
    CoUninitialize();
    return rc;
}
