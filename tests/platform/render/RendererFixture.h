#pragma once
// A graph with one of our video renderers in it, an owner window it can be placed in, and files
// made by ffmpeg to render.
#include "platform/com/ComRuntime.h"
#include "platform/com/WideString.h"
#include "platform/graph/GraphInterfaces.h"
#include "platform/graph/MessageWindow.h"
#include "platform/render/RendererWidget.h"
#include "platform/render/VideoRendererFilter.h"
#include "support/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace kestrine::platform::testing {

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
        owner = std::make_unique<QWidget>();
        owner->setGeometry(100, 100, 320, 240);
        owner->setStyleSheet("background: rgb(255, 255, 255)");
        ownerWindow = std::make_unique<MessageWindow>("TVideoWindow", "owner", [](UINT, WPARAM, LPARAM) -> LRESULT { return 0; }, 0, owner.get());
        owner->show();
    }
    void TearDown() override
    {
        if (auto control = graph.Query<IMediaControl>()) control->Stop();
        renderer.Reset();
        graph.Reset();
        ownerWindow.reset();
        owner.reset();
        CoUninitialize();
    }

    // Creates the renderer by class and adds it to the graph under the video window's name.
    void AddRenderer(const CLSID& clsid)
    {
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC, IID_IBaseFilter, reinterpret_cast<void**>(renderer.ReleaseAndGetAddressOf())), S_OK);
        ASSERT_EQ(graph->AddFilter(renderer.Get(), u"VideoWindow1"), S_OK);
    }

    VideoRendererFilter& Filter() const { return *static_cast<VideoRendererFilter*>(renderer.Get()); }

    // Renders the file into the renderer already in the graph and pauses on its first picture.
    void RenderPaused(const std::filesystem::path& file)
    {
        ASSERT_TRUE(SUCCEEDED(graph->RenderFile(ToWide(file.string()).c_str(), nullptr)));
        ASSERT_TRUE(SUCCEEDED(graph.Query<IMediaControl>()->Pause()));
        ASSERT_TRUE(Filter().WaitForPresentedCount(1, 10000));
    }

    // Places the renderer window over the owner's client area, as the video window does.
    void PlaceInOwner(ComPtr<IVideoWindow> window, int width, int height)
    {
        ASSERT_EQ(window->put_Owner(static_cast<OAHWND>(ownerWindow->Handle())), S_OK);
        ASSERT_EQ(window->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS), S_OK);
        ASSERT_EQ(window->SetWindowPosition(0, 0, width, height), S_OK);
        ASSERT_EQ(window->put_Visible(OATRUE), S_OK);
        owner->resize(width, height);
    }

    static test::MediaSpec VideoOnly(int width, int height, bool pattern)
    {
        test::MediaSpec spec;
        spec.audioCodec = "";
        spec.width = width;
        spec.height = height;
        spec.durationSeconds = 1.0;
        // A plain picture is the moving pattern painted over in one colour, 0x3060a0.
        if (!pattern) spec.extraOutputArgs = {"-vf", "drawbox=x=0:y=0:w=iw:h=ih:color=0x3060a0:t=fill"};
        spec.videoBitrate = "3000k";
        return spec;
    }

    static bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    ComPtr<IFilterGraph2> graph;
    ComPtr<IBaseFilter> renderer;
    std::unique_ptr<QWidget> owner;
    std::unique_ptr<MessageWindow> ownerWindow;
};

// Whether a pixel is the black of a bar.
inline bool IsBlack(QRgb p) { return qRed(p) < 12 && qGreen(p) < 12 && qBlue(p) < 12; }

}  // namespace kestrine::platform::testing
