// Record, Undo and Save over the result chain, and the Recorder operations they share.
#include "ui/Unit1.h"
#include "ui/Unit2.h"

#include "asf/AppendUndo.h"
#include "core/CutterCommands.h"
#include "core/EditState.h"
#include "core/KeyFrameQuery.h"
#include "core/ResultChain.h"
#include "core/Rounding.h"
#include "core/SliderUnits.h"
#include "core/TimeText.h"
#include "platform/DialogSeam.h"
#include "platform/FileOps.h"
#include "platform/QtPathNames.h"

#include <filesystem>
#include <vector>

namespace kestrine::ui {

using core::Edit;

// Marks the window busy for the length of a cutter run: the commands that would start another run
// or change the chain under it, and the LOG's Clear and Save (the keyframe query reads the LOG after
// the run), are disabled, and put back as they were however the run ends. A close agreed during the
// run goes ahead once the run's handler has unwound.
class CutterRunGuard {
public:
    explicit CutterRunGuard(TForm1& form) : form_(form)
    {
        buttons_ = {form.ToolButton17, form.ToolButton24, form.ToolButton14, form.ToolButton38};
        if (TForm2* log = form.LogWindow()) {
            buttons_.push_back(log->Button1);
            buttons_.push_back(log->Button2);
        }
        form_.cutterRunning_ = true;
        for (QAbstractButton* b : buttons_) {
            wasEnabled_.push_back(b->isEnabled());
            b->setEnabled(false);
        }
    }
    ~CutterRunGuard()
    {
        for (std::size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setEnabled(wasEnabled_[i]);
        form_.cutterRunning_ = false;
        if (form_.closeApproved_) QTimer::singleShot(0, &form_, [form = &form_] { form->close(); });
    }
    CutterRunGuard(const CutterRunGuard&) = delete;
    CutterRunGuard& operator=(const CutterRunGuard&) = delete;

private:
    TForm1& form_;
    std::vector<QAbstractButton*> buttons_;
    std::vector<bool> wasEnabled_;
};

namespace {

// Shows the Working notice until the end of the scope, however the scope is left.
class WorkingNotice {
public:
    explicit WorkingNotice(QWidget& panel) : panel_(panel) { panel_.setVisible(true); }
    ~WorkingNotice() { panel_.setVisible(false); }
    WorkingNotice(const WorkingNotice&) = delete;
    WorkingNotice& operator=(const WorkingNotice&) = delete;

private:
    QWidget& panel_;
};

// Each cutter run of a Record gets this much pipe; a cut's report is far shorter.
constexpr std::int64_t kRecordPipeSize = 16384;

QString Path(const std::string& path) { return platform::ToQtPath(path); }

}  // namespace

void TForm1::ConnectRecordingHandlers()
{
    connect(ToolButton24, &QToolButton::clicked, this, [this] { ToolButton24Click(); });
    connect(ToolButton14, &QToolButton::clicked, this, [this] { ToolButton14Click(); });
    connect(ToolButton38, &QToolButton::clicked, this, [this] { ToolButton38Click(); });
    TrackBar2->OnChange = [this](QObject*) { TrackBar2Change(); };
}

void TForm1::ToolButton24Click()
{
    if (Busy() || !RoomForRecord()) return;
    WorkingNotice working(*Panel1);
    // A Record either completes or leaves the chain as it found it: counters half advanced would make
    // the next Record join a segment instead of a result.
    const core::ChainCounters before = core::CountersOf(Edit);
    const core::CutterOptions options{CVB1->isChecked(), Noindex1->isChecked()};
    bool haveResult = false;
    {
        CutterRunGuard busy(*this);
        // A leftover of an undone or saved chain must not pass for this run's output if the cut fails.
        const std::string segment = core::SegmentPath(Edit);
        platform::DeleteFile(segment);
        CutterRun(core::CutCommand(Edit, OpenDialog1.FileName, options), Log(), kRecordPipeSize, &cutterStop_);
        // The editor is closing: the chain stays as it was, and the files go with the run directory.
        if (cutterStop_.Requested()) return;

        haveResult = platform::FileExists(segment);
        if (Edit.ResultCounter > 0) {
            if (!haveResult) {
                Log().AppendLine(QStringLiteral("Record: the span was not cut (no file %1), so nothing was joined.")
                                     .arg(Path(segment)));
            } else {
                const std::string joined = core::JoinedResultPath(Edit);
                platform::DeleteFile(joined);
                CutterRun(core::JoinCommand(Edit, options), Log(), kRecordPipeSize, &cutterStop_);
                if (cutterStop_.Requested()) return;
                haveResult = platform::FileExists(joined);
                if (haveResult) {
                    core::AdvanceResult(Edit);
                } else {
                    Log().AppendLine(QStringLiteral("Record: the join wrote no file %1; the result stays as it was.")
                                         .arg(Path(joined)));
                }
            }
        }
    }
    if (!haveResult) {
        // The cutter's own words say why; with the LOG hidden the Record would seem to do nothing.
        sp1->setChecked(true);
        sp1Click();
        return;
    }
    try {
        // ResultName now names the newest file: the joined result, or on a first Record the cut itself.
        LoadResult(core::SegmentPath(Edit), true);
    } catch (...) {
        // The result stays the one before, which an appending join took over.
        const std::string joined = core::SegmentPath(Edit);
        core::RestoreCounters(Edit, before);
        if (Edit.ResultCounter > 0) GiveBackEarlierResult(joined, core::CurrentResultPath(Edit));
        throw;
    }
    core::AdvanceResult(Edit);
    NoteCurrentResult();
}

void TForm1::ToolButton14Click()
{
    if (Busy()) return;
    if (!core::UndoHasEarlierResult(Edit)) {
        ResetRecorder(false);
        return;
    }
    const core::ChainCounters before = core::CountersOf(Edit);
    const std::string later = core::CurrentResultPath(Edit);
    core::StepBackOverLastRecord(Edit);
    const std::string earlier = core::SegmentPath(Edit);
    if (!platform::FileExists(earlier) && !GiveBackEarlierResult(later, earlier)) {
        // Left here, the counters would point into the middle of the chain.
        core::RestoreCounters(Edit, before);
        platform::MessageRequest request;
        request.owner = this;
        request.title = QStringLiteral("Undo");
        request.text = QStringLiteral("The earlier result %1 is missing, so nothing was undone.").arg(Path(earlier));
        request.icon = platform::MessageIcon::Warning;
        platform::ShowMessage(request);
        return;
    }
    ToolButton32->setChecked(true);
    try {
        LoadResult(earlier, false);
    } catch (...) {
        core::RestoreCounters(Edit, before);
        throw;
    }
    core::AdvanceResult(Edit);
    NoteCurrentResult();
}

void TForm1::ToolButton38Click()
{
    if (Busy()) return;
    const std::string current = core::CurrentResultPath(Edit);
    const auto target = ChooseSaveTarget(current);
    if (!target || !CopyResultTo(current, *target)) return;
    ResetRecorder(true);
    Edit.ResultSaved = true;
}

bool TForm1::GiveBackEarlierResult(const std::string& later, const std::string& earlier)
{
    if (platform::FileExists(earlier) ||
        !asf::CanGiveBack(later, std::filesystem::path(earlier).filename().string()))
        return false;
    // The Recorder may be reading the later file, which is about to be cut back.
    if (FilterGraph2->Active()) FilterGraph2->EmptyGraph();
    try {
        asf::GiveBackEarlier(later);
        return true;
    } catch (const std::exception& e) {
        Log().AppendLine(QString::fromStdString(e.what()));
        return false;
    }
}

void TForm1::NoteCurrentResult()
{
    if (runDirectory_)
        runDirectory_->RecordCurrentResult(Edit.ResultCounter > 0 ? core::ResultFileName(Edit.ResultCounter - 1) : std::string());
}

void TForm1::TrackBar2Change()
{
    if (!RecorderMediaPosition) return;
    RecorderMediaPosition->put_CurrentPosition(core::SliderUnitsToSeconds(TrackBar2->Position()));
    RecorderMediaPosition->get_CurrentPosition(&Edit.RecorderPos);
    ShowRecorderTime();
}

void TForm1::LoadResult(const std::string& path, bool updateTicks)
{
    if (!FilterGraph2->Active()) FilterGraph2->SetActive(true);
    FilterGraph2->EmptyGraph();
    FilterGraph2->RenderMediaFile(path);
    for (QWidget* w : std::initializer_list<QWidget*>{ToolButton14, ToolButton28, ToolButton32, ToolButton38, TrackBar2})
        w->setEnabled(true);

    RecorderMediaPosition.Reset();
    if (const auto manager = FilterGraph2->GraphManager()) RecorderMediaPosition = manager.Query<platform::IMediaPosition>();
    if (RecorderMediaPosition) RecorderMediaPosition->put_CurrentPosition(0.0);
    TrackBar2->SetThumbPosition(0);
    if (RecorderMediaPosition) {
        RecorderMediaPosition->get_CurrentPosition(&Edit.RecorderPos);
        RecorderMediaPosition->get_Duration(&Edit.RecorderDuration);
    }
    ShowRecorderTime();

    TrackBar2->SetPosition(0);
    const std::int32_t max = core::SecondsToSliderUnits(Edit.RecorderDuration);
    TrackBar2->SetMax(max);
    if (updateTicks) TrackBar2->SetFrequency(core::RoundHalfEven32(max * 0.1));

    FilterGraph2->Play();
    FilterGraph2->Pause();
    if (updateTicks) ToolButton32->setChecked(true);
}

void TForm1::ResetRecorder(bool resetSliderPosition)
{
    ReleaseGroup(*RecorderTransport);
    Timer2->stop();
    FilterGraph2->EmptyGraph();
    FilterGraph2->SetActive(false);
    for (QToolButton* b : {ToolButton14, ToolButton28, ToolButton32, ToolButton38}) b->setEnabled(false);
    if (resetSliderPosition) TrackBar2->SetPosition(0);
    TrackBar2->setEnabled(false);
    StatusBar2->SetSimpleText(QString());
    core::RestartChain(Edit);
    NoteCurrentResult();
}

void TForm1::ShowRecorderTime() { StatusBar2->SetSimpleText(core::StatusLine(Edit.RecorderPos, Edit.RecorderDuration)); }

void TForm1::QueryKeyFrames()
{
    CutterRunGuard busy(*this);
    core::QueryKeyFrames(OpenDialog1.FileName, Log(), [this](bool visible) { Panel1->setVisible(visible); },
                         &cutterStop_);
}

}  // namespace kestrine::ui
