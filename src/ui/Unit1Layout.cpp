// The main window's controls: their kinds, names, places, captions, hints and start states.
#include "ui/Unit1.h"
#include "ui/Fonts.h"
#include "media/VideoWindow.h"

namespace kestrine::ui {

namespace {

constexpr int kToolButtonWidth = 31;
constexpr int kToolButtonHeight = 24;
// The Recorder's separators are 24 wide; the Player's 12, which centres its longer bar under its video.
constexpr int kRecorderSeparator = 24;
constexpr int kPlayerSeparator = 12;

template <typename W>
W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* PaneTitle(QWidget* parent, const char* name, const QString& text, const QRect& place, const QColor& ink)
{
    auto* label = Named(new QLabel(text, parent), name);
    label->setGeometry(place);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setLineWidth(1);
    label->setAutoFillBackground(true);
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, ink);
    label->setPalette(pal);
    return label;
}

// A pane's video window: the mixing renderer in a window of its own laid over the control,
// stretching the picture until the pane's aspect box says otherwise, full screen above all else.
media::TVideoWindow* VideoArea(QWidget* parent, const char* name, const QRect& place)
{
    auto* video = Named(new media::TVideoWindow(parent), name);
    video->setGeometry(place);
    video->SetMode(media::TVideoMode::vmVMR);
    video->VMROptions().SetMode(media::TVMRVideoMode::vmrWindowed);
    video->VMROptions().SetKeepAspectRatio(false);
    video->SetFullScreenTopMost(true);
    video->setFocusPolicy(Qt::NoFocus);
    return video;
}

QFrame* Bevel(QWidget* parent, const char* name, const QRect& place)
{
    auto* frame = Named(new QFrame(parent), name);
    frame->setGeometry(place);
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    return frame;
}

QLabel* PlainLabel(QWidget* parent, const char* name, const QString& text, int left, int top)
{
    auto* label = Named(new QLabel(text, parent), name);
    label->adjustSize();
    label->move(left, top);
    return label;
}

TMyTrackBar* PositionSlider(QWidget* parent, const char* name, const QRect& place, TTickStyle ticks)
{
    auto* bar = Named(new TMyTrackBar(parent), name);
    bar->setGeometry(place);
    bar->SetOrientation(TTrackBarOrientation::trHorizontal);
    bar->SetRange(0, 100);
    bar->SetLineSize(1);
    bar->SetPageSize(10);
    bar->SetFrequency(10);
    bar->SetTickStyle(ticks);
    bar->SetTickMarks(TTickMark::tmBottomRight);
    bar->Selection = true;
    bar->Tooltips = false;
    bar->setEnabled(false);
    return bar;
}

TMyTrackBar* VolumeSlider(QWidget* parent, const char* name, const QRect& place)
{
    auto* bar = Named(new TMyTrackBar(parent), name);
    bar->setGeometry(place);
    bar->SetOrientation(TTrackBarOrientation::trVertical);
    bar->SetRange(0, 10000);
    bar->SetLineSize(100);
    bar->SetPageSize(1000);
    bar->SetFrequency(1000);
    bar->SetTickStyle(TTickStyle::tsAuto);
    bar->SetTickMarks(TTickMark::tmBoth);
    bar->SetSelEnd(10000);
    bar->SetThumbLength(16);
    bar->SetTabStop(false);
    bar->Selection = false;
    bar->Tooltips = false;
    return bar;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& text, const QRect& place)
{
    auto* box = Named(new QCheckBox(text, parent), name);
    box->setGeometry(place);
    return box;
}

TStatusBar* StatusBar(QWidget* parent, const char* name, const QRect& place)
{
    auto* bar = Named(new TStatusBar(parent), name);
    bar->setGeometry(place);
    // It takes the focus at start, so keys and the wheel reach no slider until the user picks one.
    bar->setFocusPolicy(Qt::ClickFocus);
    return bar;
}

}  // namespace

QToolButton* TForm1::AddToolButton(QWidget* bar, int& x, const char* name, const QString& hint, int image, bool check)
{
    auto* button = Named(new QToolButton(bar), name);
    button->setGeometry(x, 0, kToolButtonWidth, kToolButtonHeight);
    button->setToolTip(hint);
    button->setIcon(ImageList1.Icon(image));
    button->setIconSize(QSize(TImageList::Width, TImageList::Height));
    button->setAutoRaise(true);
    button->setCheckable(check);
    button->setFocusPolicy(Qt::NoFocus);
    x += kToolButtonWidth;
    return button;
}

QToolButton* TForm1::AddSeparator(QWidget* bar, int& x, const char* name, int width)
{
    // A separator is a disabled, flat button with an etched line, as the tool bar keeps it.
    auto* separator = new QToolButton(bar);
    if (name != nullptr) separator->setObjectName(QString::fromLatin1(name));
    separator->setGeometry(x, 0, width, kToolButtonHeight);
    separator->setAutoRaise(true);
    separator->setEnabled(false);
    separator->setFocusPolicy(Qt::NoFocus);
    separator->setStyleSheet(QStringLiteral("QToolButton { border: none; border-left: 1px solid palette(mid);"
                                            " margin-left: %1px; margin-right: %2px; margin-top: 2px; margin-bottom: 2px; }")
                                 .arg(width / 2)
                                 .arg(width - width / 2 - 1));
    x += width;
    return separator;
}

void TForm1::CreateControls()
{
    CreatePlayerPane();
    CreateVolumeColumn();
    CreateRecorderPane();
    CreateNonVisual();
}

void TForm1::CreatePlayerPane()
{
    StaticText1 = PaneTitle(this, "StaticText1", QStringLiteral("Player"), QRect(16, 8, 56, 17), Qt::black);
    CheckBox1 = CheckBox(this, "CheckBox1", QStringLiteral("Original Aspect Ratio "), QRect(88, 8, 137, 17));

    sp1 = Named(new QToolButton(this), "sp1");
    sp1->setText(QStringLiteral("LOG Window"));
    sp1->setGeometry(262, 2, 74, 23);
    sp1->setCheckable(true);
    sp1->setFocusPolicy(Qt::NoFocus);

    VideoWindow1 = VideoArea(this, "VideoWindow1", QRect(16, 28, 320, 240));
    Bevel1 = Bevel(this, "Bevel1", QRect(15, 27, 322, 242));
    TrackBar1 = PositionSlider(this, "TrackBar1", QRect(8, 270, 337, 33), TTickStyle::tsManual);

    ToolBar1 = Named(new QWidget(this), "ToolBar1");
    int x = 0;
    ToolButton17 = AddToolButton(ToolBar1, x, "ToolButton17", QStringLiteral("Open"), imgOpen, false);
    AddSeparator(ToolBar1, x, nullptr, kPlayerSeparator);
    ToolButton5 = AddToolButton(ToolBar1, x, "ToolButton5", QStringLiteral("Play"), imgPlay, true);
    AddSeparator(ToolBar1, x, nullptr, kPlayerSeparator);
    ToolButton7 = AddToolButton(ToolBar1, x, "ToolButton7", QStringLiteral("Stop"), imgStop, true);
    AddSeparator(ToolBar1, x, nullptr, kPlayerSeparator);
    ToolButton1 = AddToolButton(ToolBar1, x, "ToolButton1", QStringLiteral("Prev. keyframe"), imgPrevKeyFrame, false);
    AddSeparator(ToolBar1, x, nullptr, kPlayerSeparator);
    ToolButton8 = AddToolButton(ToolBar1, x, "ToolButton8", QStringLiteral("Next keyframe"), imgNextKeyFrame, false);
    AddSeparator(ToolBar1, x, nullptr, kPlayerSeparator);
    ToolButton13 = AddToolButton(ToolBar1, x, "ToolButton13", QStringLiteral("Mark IN"), imgMarkIn, false);
    AddSeparator(ToolBar1, x, nullptr, kPlayerSeparator);
    ToolButton16 = AddToolButton(ToolBar1, x, "ToolButton16", QStringLiteral("Mark OUT"), imgMarkOut, false);
    ToolBar1->setGeometry(32, 304, x, kToolButtonHeight);
    for (QToolButton* b : {ToolButton5, ToolButton7, ToolButton1, ToolButton8, ToolButton13, ToolButton16})
        b->setEnabled(false);
    PlayerTransport = new QButtonGroup(this);
    PlayerTransport->setObjectName(QStringLiteral("PlayerTransport"));
    PlayerTransport->addButton(ToolButton5);
    PlayerTransport->addButton(ToolButton7);

    StatusBar1 = StatusBar(this, "StatusBar1", QRect(16, 344, 321, 21));
}

void TForm1::CreateVolumeColumn()
{
    Label3 = PlainLabel(this, "Label3", QStringLiteral("Volume"), 352, 68);
    TrackBar3 = VolumeSlider(this, "TrackBar3", QRect(338, 84, 32, 92));
    TrackBar4 = VolumeSlider(this, "TrackBar4", QRect(370, 84, 32, 92));
    CheckBox3 = CheckBox(this, "CheckBox3", QString(), QRect(348, 176, 17, 17));
    CheckBox4 = CheckBox(this, "CheckBox4", QString(), QRect(380, 176, 17, 17));
    Label4 = PlainLabel(this, "Label4", QStringLiteral("Mute"), 358, 196);

    Button1 = Named(new QPushButton(QStringLiteral("Options"), this), "Button1");
    Button1->setGeometry(344, 240, 57, 23);

    Panel1 = Named(new QLabel(QStringLiteral("Working..."), this), "Panel1");
    Panel1->setGeometry(288, 296, 169, 41);
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel1->setLineWidth(1);
    Panel1->setAutoFillBackground(true);
    QPalette silver = Panel1->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    silver.setColor(QPalette::WindowText, Qt::red);
    Panel1->setPalette(silver);
    Panel1->setFont(TahomaFont(24));
    Panel1->hide();
}

void TForm1::CreateRecorderPane()
{
    StaticText2 = PaneTitle(this, "StaticText2", QStringLiteral("Recorder"), QRect(408, 8, 56, 17), Qt::red);
    CheckBox2 = CheckBox(this, "CheckBox2", QStringLiteral("Original Aspect Ratio "), QRect(480, 8, 137, 17));
    VideoWindow2 = VideoArea(this, "VideoWindow2", QRect(408, 28, 320, 240));
    Bevel2 = Bevel(this, "Bevel2", QRect(407, 27, 322, 242));
    TrackBar2 = PositionSlider(this, "TrackBar2", QRect(400, 270, 337, 33), TTickStyle::tsAuto);

    ToolBar2 = Named(new QWidget(this), "ToolBar2");
    int x = 0;
    ToolButton28 = AddToolButton(ToolBar2, x, "ToolButton28", QStringLiteral("Play"), imgPlay, true);
    ToolButton29 = AddSeparator(ToolBar2, x, "ToolButton29", kRecorderSeparator);
    ToolButton32 = AddToolButton(ToolBar2, x, "ToolButton32", QStringLiteral("Stop"), imgStop, true);
    ToolButton33 = AddSeparator(ToolBar2, x, "ToolButton33", kRecorderSeparator);
    ToolButton24 = AddToolButton(ToolBar2, x, "ToolButton24", QStringLiteral("Record"), imgRecord, false);
    ToolButton36 = AddSeparator(ToolBar2, x, "ToolButton36", kRecorderSeparator);
    ToolButton14 = AddToolButton(ToolBar2, x, "ToolButton14", QStringLiteral("Undo - (Can not Redo !)"), imgUndo, false);
    ToolButton12 = AddSeparator(ToolBar2, x, "ToolButton12", kRecorderSeparator);
    ToolButton38 = AddToolButton(ToolBar2, x, "ToolButton38", QStringLiteral("Save"), imgSave, false);
    ToolBar2->setGeometry(443, 304, x, kToolButtonHeight);
    for (QToolButton* b : {ToolButton28, ToolButton32, ToolButton24, ToolButton14, ToolButton38}) b->setEnabled(false);
    RecorderTransport = new QButtonGroup(this);
    RecorderTransport->setObjectName(QStringLiteral("RecorderTransport"));
    RecorderTransport->addButton(ToolButton28);
    RecorderTransport->addButton(ToolButton32);

    StatusBar2 = StatusBar(this, "StatusBar2", QRect(408, 344, 321, 21));
}

void TForm1::CreateNonVisual()
{
    // Not registered for outside inspection.
    FilterGraph1 = Named(new media::TFilterGraph(this), "FilterGraph1");
    FilterGraph2 = Named(new media::TFilterGraph(this), "FilterGraph2");
    FilterGraph1->SetGraphEdit(false);
    FilterGraph2->SetGraphEdit(false);
    for (media::TVideoWindow* video : {VideoWindow1, VideoWindow2}) video->Loaded();
    VideoWindow1->SetFilterGraph(FilterGraph1);
    VideoWindow2->SetFilterGraph(FilterGraph2);

    OpenDialog1.Filter = "ASF files (*.asf; *.wmv)|*.asf;*.wmv|WMA Files (*.wma)|*.wma";
    OpenDialog1.DefaultExt = "asf";
    OpenDialog1.Owner = this;
    SaveDialog1.Filter = "ASF files (*.asf)|*.asf";
    SaveDialog1.DefaultExt = "asf";
    SaveDialog1.Owner = this;

    Timer1 = Named(new QTimer(this), "Timer1");
    Timer2 = Named(new QTimer(this), "Timer2");
    for (QTimer* t : {Timer1, Timer2}) {
        t->setInterval(100);
        t->stop();
    }

    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    auto item = [this](const char* name, const QString& caption, bool checked) {
        QAction* action = Named(PopupMenu1->addAction(caption), name);
        action->setCheckable(true);
        action->setChecked(checked);
        return action;
    };
    CVB1 = item("CVB1", QStringLiteral("CVB (always copy at very beginning)"), false);
    Noindex1 = item("Noindex1", QStringLiteral("NoIndex (output file not indexed)"), false);
    N1 = Named(PopupMenu1->addSeparator(), "N1");
    GetKf1 = item("GetKf1", QStringLiteral("Get keyframes at open (may be slow)"), true);
    Cont1 = item("Cont1", QStringLiteral("Continuous replay"), false);
}

}  // namespace kestrine::ui
