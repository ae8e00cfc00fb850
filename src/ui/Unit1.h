#pragma once
#include "core/CutterRunner.h"
#include "core/LogText.h"
#include "media/MediaGraph.h"
#include "platform/FileSystemSpace.h"
#include "platform/RunDirectory.h"
#include "ui/FileDialogs.h"
#include "ui/ImageList.h"
#include "ui/KeysWindow.h"
#include "ui/MyTrackBar.h"
#include "ui/StatusBar.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QMimeData;

namespace kestrine::media {
class TVideoWindow;
}

namespace kestrine::ui {

class TForm2;
class TCaptionFrame;

// Where the main window finds its directories at creation. The real editor reads them from the
// system; tests hand in their own.
struct TForm1Environment {
    std::string ExecutableDir;   // ending in '/'
    std::string SystemTempPath;  // ending in '/'
    std::string UserCacheDir;    // ending in '/', may be empty
    static TForm1Environment FromSystem();
};

// The main window: the Player pane on the left, the Recorder pane on the right, the volume column
// and the Options button between them. Creating it runs FormCreate.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(const TForm1Environment& environment = TForm1Environment::FromSystem());
    ~TForm1() override;

    // ---- controls, named as the form knows them ----
    QLabel* StaticText1;
    QCheckBox* CheckBox1;
    QToolButton* sp1;
    QFrame* Bevel1;
    media::TVideoWindow* VideoWindow1;
    TMyTrackBar* TrackBar1;
    QWidget* ToolBar1;
    QToolButton* ToolButton17;  // Open
    QToolButton* ToolButton5;   // Play
    QToolButton* ToolButton7;   // Stop
    QToolButton* ToolButton1;   // Prev. keyframe
    QToolButton* ToolButton8;   // Next keyframe
    QToolButton* ToolButton13;  // Mark IN
    QToolButton* ToolButton16;  // Mark OUT
    TStatusBar* StatusBar1;
    QLabel* Label3;
    TMyTrackBar* TrackBar3;
    TMyTrackBar* TrackBar4;
    QCheckBox* CheckBox3;
    QCheckBox* CheckBox4;
    QLabel* Label4;
    QPushButton* Button1;
    QLabel* Panel1;
    QLabel* StaticText2;
    QCheckBox* CheckBox2;
    QFrame* Bevel2;
    media::TVideoWindow* VideoWindow2;
    TMyTrackBar* TrackBar2;
    QWidget* ToolBar2;
    QToolButton* ToolButton28;  // Play
    QToolButton* ToolButton29;  // separator
    QToolButton* ToolButton32;  // Stop
    QToolButton* ToolButton33;  // separator
    QToolButton* ToolButton24;  // Record
    QToolButton* ToolButton36;  // separator
    QToolButton* ToolButton14;  // Undo
    QToolButton* ToolButton12;  // separator
    QToolButton* ToolButton38;  // Save
    TStatusBar* StatusBar2;

    // Play and Stop of each pane: pressing one releases the other.
    QButtonGroup* PlayerTransport;
    QButtonGroup* RecorderTransport;

    // ---- non-visual parts ----
    media::TFilterGraph* FilterGraph1;  // the Player's graph
    media::TFilterGraph* FilterGraph2;  // the Recorder's graph
    TOpenDialog OpenDialog1;
    TSaveDialog SaveDialog1;
    QTimer* Timer1;
    QTimer* Timer2;
    TImageList ImageList1;
    QMenu* PopupMenu1;
    QAction* CVB1;
    QAction* Noindex1;
    QAction* N1;
    QAction* GetKf1;
    QAction* Cont1;

    // Width of the caption's "KESTRINE by " in the caption font; measured by FormPaint.
    int CaptionPrefixWidth = 0;

    // ---- caption chrome: a strip of our own above the client area stands in for the caption bar ----
    // Hit code of the maker line, outside the platform's codes.
    static constexpr int MakerLinkHit = 683;
    int CaptionHeight = 0;    // the caption-height metric at the last drawing
    int MakerTextWidth = 0;   // extent of the maker line at the last drawing
    int MakerTextHeight = 0;
    void drawown();
    void WMNCPaint();
    void WMNCActivate(bool active);
    void WMSetText();
    // Hit code at a screen point: the standard answer, or MakerLinkHit over the maker line.
    int WMNCHitTest(int x, int y);
    // True when it set the cursor (the hand over the maker line); false leaves the standard cursor.
    bool wmsetcursor(QWidget* window, int hitCode);
    void WMNCLButtonDown(int hitCode, int x, int y);
    // The frameless window holding the caption strip and, below it, this client area.
    TCaptionFrame& CaptionFrame() const;
    // Showing or hiding the editor shows or hides its whole window, caption included.
    void setVisible(bool visible) override;

    // ---- handlers ----
    void FormCreate();
    void FormActivate();
    void FormPaint();
    // Whether the window may close; asks while a result may still be lost.
    void FormCloseQuery(bool& CanClose);
    void FormClose();
    void Button1Click();
    void CVB1Click();
    void Noindex1Click();
    void GetKf1Click();
    void Cont1Click();
    void sp1Click();

    // The LOG window, made after this one; sp1 shows and hides it, and its close box raises sp1.
    void AttachLogWindow(TForm2& logWindow);
    TForm2* LogWindow() const { return logWindow_; }
    // The LOG text the cutter runs append to; throws std::logic_error before AttachLogWindow.
    core::LogText& Log();

    // Releases both buttons of a grouped pair (a toolkit group would keep one pressed).
    static void ReleaseGroup(QButtonGroup& group);

    // ---- recording: Record, Undo, Save and the Recorder operations they share ----
    void ToolButton24Click();  // Record
    void ToolButton14Click();  // Undo
    void ToolButton38Click();  // Save
    void TrackBar2Change();

    // ---- the Player pane's transport and navigation ----
    void ToolButton5Click();   // Play
    void ToolButton7Click();   // Stop (pauses, keeping the position)
    void Timer1Timer();
    void TrackBar1Change();
    void ToolButton1Click();   // Prev. keyframe
    void ToolButton8Click();   // Next keyframe
    void ToolButton13Click();  // Mark IN
    void ToolButton16Click();  // Mark OUT
    void FilterGraph1GraphComplete(QObject* Sender, platform::HRESULT Result, platform::IBaseFilter* Renderer);
    // The Player's position interface, fetched by Open from FilterGraph1's manager.
    platform::ComPtr<platform::IMediaPosition> PlayerMediaPosition;

    // ---- the Recorder pane's transport ----
    void ToolButton28Click();  // Play
    void ToolButton32Click();  // Stop (pauses, keeping the position)
    void Timer2Timer();
    void FilterGraph2GraphComplete(QObject* Sender, platform::HRESULT Result, platform::IBaseFilter* Renderer);
    // Loads a result into the Recorder, paused at its start; updateTicks (Record) respaces the ticks.
    void LoadResult(const std::string& path, bool updateTicks);
    // Empties the Recorder and restarts the chain; resetSliderPosition (Save) also puts the slider at 0.
    void ResetRecorder(bool resetSliderPosition);
    void ShowRecorderTime();
    // The source's keyframes from the cutter's report, with the Working notice shown meanwhile.
    void QueryKeyFrames();

    // The Recorder's position interface, fetched anew by every LoadResult.
    platform::ComPtr<platform::IMediaPosition> RecorderMediaPosition;

    // How one cutter command line is run. Tests wrap it to see the lines while the real cutter runs.
    using CutterRunFunction = std::function<void(const std::string& commandLine, core::LogText& log,
                                                 std::int64_t pipeSize, const core::CutterStop* stop)>;
    CutterRunFunction CutterRun = core::RunCutter;
    // The bytes free where the results go, asked before each Record. Tests stand in for a full disk.
    using FreeSpaceFunction = std::function<std::optional<std::uint64_t>(const std::string& path)>;
    FreeSpaceFunction FreeSpace = platform::AvailableBytes;

    // ---- the Player pane's Open ----
    void ToolButton17Click();
    // Open's work once a file is chosen (also for a file named on the command line). A file that
    // cannot be rendered raises, with the Player put back as it was before.
    void OpenSource(const std::string& path);

    // ---- each pane's media controls: volume, mute, aspect, full screen, right-click transport ----
    void CheckBox1Click();
    void CheckBox2Click();
    void CheckBox3Click();
    void CheckBox4Click();
    void TrackBar3Change();
    void TrackBar4Change();
    void TrackBar3Enter();
    void TrackBar4Enter();
    void VideoWindow1DblClick();
    void VideoWindow2DblClick();
    void VideoWindow1MouseDown(Qt::MouseButton Button);
    void VideoWindow2MouseDown(Qt::MouseButton Button);
    // The volume slider's position while its pane is muted.
    std::int32_t PlayerMuteSavedPosition = 0;
    std::int32_t RecorderMuteSavedPosition = 0;

    // ---- keyboard ----
    // F1: the window listing the shortcuts (made on first use).
    void ShowKeysWindow();
    TKeysWindow* KeysWindow() const { return keysWindow_; }

    // True while a Record or keyframe query waits for the cutter; Open, Record, Undo and Save are refused then.
    bool CutterRunning() const { return cutterRunning_; }
    // The editor is about to end (a termination signal): a cutter run in progress is ended, its handler
    // unwinds without touching the result chain, and no new run or change of the chain starts.
    void StopCutterForExit();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    // The controls one pane's media handlers act on.
    struct PaneControls {
        media::TFilterGraph* graph;
        media::TVideoWindow* video;
        TMyTrackBar* positionSlider;
        QTimer* timer;
        QToolButton* playButton;
        QToolButton* stopButton;
        TMyTrackBar* volumeSlider;
        QCheckBox* muteBox;
        QCheckBox* aspectBox;
        std::int32_t& volume;
        std::int32_t& mutedAt;
    };
    PaneControls PlayerControls();
    PaneControls RecorderControls();
    void ConnectMediaControlHandlers();
    // The window's shortcuts, each an action of this window that presses a button.
    void CreateShortcuts();
    // Escape: a pane in full screen comes back. False when none was.
    bool LeaveFullScreen();
    // A drag of one .asf, .wmv or .wma file over the Player pane, while nothing runs.
    bool AcceptsDrop(const QMimeData* dragged, const QPoint& at) const;
    static void FocusPositionSlider(const PaneControls& pane);
    static void VolumeSliderChanged(const PaneControls& pane);
    static void MuteBoxClicked(const PaneControls& pane);
    static void AspectBoxClicked(const PaneControls& pane);
    static void VideoDoubleClicked(const PaneControls& pane);
    static void VideoMouseDown(const PaneControls& pane, Qt::MouseButton button);

    void CreateControls();
    void CreatePlayerPane();
    void CreateVolumeColumn();
    void CreateRecorderPane();
    void CreateNonVisual();
    void ConnectHandlers();
    void ConnectRecordingHandlers();
    void ConnectRecorderPaneHandlers();
    void ConnectPlayerPaneHandlers();
    void FocusPlayerSlider();
    // A tick on the Player's slider for each keyframe of the source.
    void ShowKeyFrameTicks();
    // The IN side of the Player's selection where the cut will really begin (after a Mark IN).
    void ShowCutStart();
    void ReadPlayerPosition();
    void SeekPlayer(double seconds);
    void ShowPlayerTime();
    void StepToKeyFrame(double target);
    void FocusRecorderSlider();
    // A cutter run is in progress, or the editor is ending: commands that run the cutter or change the
    // chain are refused.
    bool Busy() const { return cutterRunning_ || cutterStop_.Requested(); }
    // Whether the results' file system has room for the Record about to run; says why not.
    bool RoomForRecord();
    // Tells the run record which result is current, for a recovery after a crash.
    void NoteCurrentResult();
    // An appending join took the earlier result's file over: cuts the later result back into it by
    // the cutter's record (emptying the Recorder first). False, with the reason in the LOG, when the
    // earlier file exists already or cannot be given back.
    bool GiveBackEarlierResult(const std::string& later, const std::string& earlier);
    // The Save dialog, with the refusal of the source and of the working folder of `result`, and the
    // question before an existing file is replaced. Nothing when the user gave up.
    std::optional<std::string> ChooseSaveTarget(const std::string& result);
    // Copies a result to the user's file; says why when it cannot.
    bool CopyResultTo(const std::string& result, const std::string& target);
    // Offers the results of run directories whose editor ended without closing, then removes them.
    void OfferOrphanedResults();
    // What the Player stood on before an Open, to go back to when the new file cannot be rendered.
    struct PlayerSource {
        std::string fileName;
        media::TFilterGraph* video1Graph;
        media::TFilterGraph* video2Graph;
        bool graphActive;
        double position;
        bool playing;
    };
    PlayerSource CurrentPlayerSource() const;
    // Open's steps for a chosen file; on a failure to render, back to `previous`.
    void OpenChosen(const std::string& path, const PlayerSource& previous);
    void RestorePlayerSource(const PlayerSource& previous);
    // No source any more: the Player empty and its buttons and Record disabled, as before the first Open.
    void ForgetSource();
    // The Player's slider and buttons, and Record: what a source makes usable.
    void EnableSourceControls(bool enabled);
    QToolButton* AddToolButton(QWidget* bar, int& x, const char* name, const QString& hint, int image, bool check);
    QToolButton* AddSeparator(QWidget* bar, int& x, const char* name, int width);
    void DeleteResultFiles();
    void CreateCaptionFrame();
    void ReleaseCaptionFrame();

    TForm1Environment environment_;
    std::optional<platform::PrivateRunDirectory> runDirectory_;
    TForm2* logWindow_ = nullptr;
    bool centred_ = false;
    std::unique_ptr<TCaptionFrame> captionFrame_;
    bool cutterRunning_ = false;
    // Set when a close or the end of the editor gives up a cutter run; never cleared.
    core::CutterStop cutterStop_;
    // The close was agreed while a cutter ran; it goes ahead, without asking again, once the run has unwound.
    bool closeApproved_ = false;
    // A Mark IN was made since the last Open, so the selection shows where the cut begins.
    bool markInSet_ = false;
    std::vector<TKeyLine> keyLines_;
    TKeysWindow* keysWindow_ = nullptr;  // owned as a child of this window
    friend class CutterRunGuard;
};

}  // namespace kestrine::ui
