#pragma once
// The editor as a user meets it: a main window with its LOG window, the real cutter beside it, and
// the dialogs answered by the test. Files are opened through Open and its dialog.
#include "FormFixture.h"

#include "core/CutterRunner.h"
#include "core/EditState.h"
#include "media/VideoWindow.h"
#include "platform/com/ComRuntime.h"
#include "support/TestEvents.h"
#include "support/TestMedia.h"
#include "support/TestPictures.h"
#include "ui/Unit2.h"

#include <functional>
#include <string>
#include <vector>

namespace kestrine::test {

class EditorTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        ASSERT_TRUE(platform::SUCCEEDED(platform::CoInitialize(nullptr)));
        form = MakeForm();
        logWindow = std::make_unique<ui::TForm2>(form.get());
        form->AttachLogWindow(*logWindow);
        core::Edit.EditorDir = BinDir().string() + "/";
        form->CutterRun = [this](const std::string& line, core::LogText& log, std::int64_t pipeSize,
                                 const core::CutterStop* stop) {
            cutterLines.push_back(line);
            core::RunCutter(line, log, pipeSize, stop);
        };
        form->show();
    }

    void TearDown() override
    {
        logWindow.reset();
        form.reset();
        platform::CoUninitialize();
        FormTest::TearDown();
    }

    // 4 s of 160 x 120 WMV8 with WMA2, a keyframe every `gopLength` frames (25 a second).
    static MediaSpec SmallSource(int gopLength = 5)
    {
        MediaSpec spec;
        spec.width = 160;
        spec.height = 120;
        spec.gopLength = gopLength;
        return spec;
    }

    // Open with the dialog answered by `file`.
    void OpenThroughDialog(const std::filesystem::path& file)
    {
        dialogs->AnswerFile(file.string());
        form->ToolButton17Click();
    }

    double PlayerPosition() const
    {
        double now = -1;
        if (form->PlayerMediaPosition) form->PlayerMediaPosition->get_CurrentPosition(&now);
        return now;
    }


    // Lets posted pictures and events arrive.
    static void Settle(int milliseconds = 300)
    {
        DispatchUntil([] { return false; }, milliseconds);
    }

    // What the main window shows over a pane's video window.
    QImage Shown(const media::TVideoWindow& video) const
    {
        return form->grab(video.geometry()).toImage().convertToFormat(QImage::Format_RGB888);
    }

    // Waits until the pane shows ffmpeg's frame at `seconds` rather than the given other frames.
    bool WaitForFrame(const media::TVideoWindow& video, const std::filesystem::path& file, double seconds,
                      std::initializer_list<double> otherSeconds)
    {
        const QSize size = video.size();
        const QImage expected = FfmpegFrameAt(file, seconds, size);
        std::vector<QImage> others;
        for (double s : otherSeconds) others.push_back(FfmpegFrameAt(file, s, size));
        return DispatchUntil([&] { return ShowsFrame(Shown(video), expected, others); }, 10000);
    }

    std::unique_ptr<ui::TForm1> form;
    std::unique_ptr<ui::TForm2> logWindow;
    std::vector<std::string> cutterLines;
};

}  // namespace kestrine::test
