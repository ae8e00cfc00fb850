#pragma once
// What the video window's tests share: an editor-like owner window with a white background holding
// one video window at the pane's place, its graph, media made by ffmpeg, and a way to reach the
// real renderer behind the control.
#include "FilterGraphTestSupport.h"
#include "media/VideoWindow.h"
#include "platform/render/RenderClasses.h"
#include "platform/render/RendererWidget.h"
#include "platform/render/VideoRendererFilter.h"
#include "platform/graph/EventCodes.h"
#include "support/TestMedia.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace kestrine::media::testing {

inline constexpr QRect kPaneRect(16, 28, 320, 240);

// The colour a plain test picture is painted in, and the owner's background.
inline constexpr QRgb kPictureColour = 0x3060a0;
inline constexpr QRgb kOwnerColour = 0xffffff;

inline bool Near(QRgb a, QRgb b, int tolerance = 24)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

inline bool IsBlack(QRgb p) { return qRed(p) < 12 && qGreen(p) < 12 && qBlue(p) < 12; }

// One plain-coloured video stream, no sound.
inline std::filesystem::path PlainVideo(int width = 160, int height = 120)
{
    test::MediaSpec spec;
    spec.audioCodec = "";
    spec.width = width;
    spec.height = height;
    spec.durationSeconds = 1.0;
    spec.videoBitrate = "3000k";
    spec.extraOutputArgs = {"-vf", "drawbox=x=0:y=0:w=iw:h=ih:color=0x3060a0:t=fill"};
    return test::MakeMedia(spec);
}

// Puts the mixing renderer class back however a test took it away.
class MixingRendererClassRestorer {
public:
    ~MixingRendererClassRestorer()
    {
        platform::RegisterRendererClasses([](REFCLSID clsid, ClassFactory factory) { RegisterComClass(clsid, std::move(factory)); });
    }
};

class VideoWindowTest : public FilterGraphTest {
protected:
    void SetUp() override
    {
        FilterGraphTest::SetUp();
        owner = std::make_unique<QWidget>();
        owner->setObjectName("Form1");
        owner->setGeometry(60, 60, 760, 300);
        QPalette p = owner->palette();
        p.setColor(QPalette::Window, QColor::fromRgb(kOwnerColour));
        owner->setPalette(p);
        owner->setAutoFillBackground(true);
        video = new TVideoWindow(owner.get());  // owned by the owner window, as on the form
        video->setObjectName("VideoWindow1");
        video->setGeometry(kPaneRect);
        video->Loaded();
        graph = std::make_unique<TFilterGraph>();
        owner->show();
    }
    void TearDown() override
    {
        if (graph && graph->Active()) graph->Stop();
        owner.reset();  // the video window goes with it and unlinks itself
        graph.reset();
        FilterGraphTest::TearDown();
    }

    // As the panes load a file: activate, render, play and pause at once, then wait for the picture.
    void LoadPaused(const std::filesystem::path& file)
    {
        if (!graph->Active()) graph->SetActive(true);
        ASSERT_EQ(graph->RenderMediaFile(file.string()), S_OK);
        ASSERT_TRUE(graph->Play());
        graph->Pause();
        ASSERT_TRUE(Renderer().WaitForPresentedCount(1, 10000)) << "no picture reached the renderer";
        PumpPosted();
        // The renderer repaints on its own poll; give it a turn.
        ASSERT_TRUE(PumpUntil([&] { return !Renderer().Widget()->grab().isNull(); }));
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    platform::VideoRendererFilter& Renderer() const
    {
        auto filter = video->RendererFilter();
        EXPECT_TRUE(filter);
        return *static_cast<platform::VideoRendererFilter*>(filter.Get());
    }

    // The owner as it looks on screen, child windows included.
    QImage OwnerShot() const { return owner->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<QWidget> owner;
    TVideoWindow* video = nullptr;
    std::unique_ptr<TFilterGraph> graph;
};

}  // namespace kestrine::media::testing
