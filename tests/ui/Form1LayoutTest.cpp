#include "FormFixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <optional>

using kestrine::test::FormTest;
using kestrine::ui::TMyTrackBar;
using kestrine::ui::TStatusBar;
using kestrine::ui::TTickMark;
using kestrine::ui::TTickStyle;
using kestrine::ui::TTrackBarOrientation;

namespace {

enum class Text { Caption, Hint, None };
enum class Checked { No, Yes, NotCheckable };

struct ControlRow {
    const char* name;
    const char* kind;  // the class it must be, or derive from
    int left, top, width, height;  // width/height -1: sized by its contents
    Text textKind;
    const char* text;
    bool enabled;
    bool visible;
    Checked checked;
};

// Every named control of the main window, where it stands and how it starts.
const ControlRow kControls[] = {
    {"StaticText1", "QLabel", 16, 8, 56, 17, Text::Caption, "Player", true, true, Checked::NotCheckable},
    {"CheckBox1", "QCheckBox", 88, 8, 137, 17, Text::Caption, "Original Aspect Ratio ", true, true, Checked::No},
    {"sp1", "QToolButton", 262, 2, 74, 23, Text::Caption, "LOG Window", true, true, Checked::No},
    {"Bevel1", "QFrame", 15, 27, 322, 242, Text::None, "", true, true, Checked::NotCheckable},
    {"VideoWindow1", "QWidget", 16, 28, 320, 240, Text::None, "", true, true, Checked::NotCheckable},
    {"TrackBar1", "kestrine::ui::TMyTrackBar", 8, 270, 337, 33, Text::None, "", false, true, Checked::NotCheckable},
    {"ToolBar1", "QWidget", 32, 304, -1, 24, Text::None, "", true, true, Checked::NotCheckable},
    {"ToolButton17", "QToolButton", -1, 304, 31, 24, Text::Hint, "Open", true, true, Checked::NotCheckable},
    {"ToolButton5", "QToolButton", -1, 304, 31, 24, Text::Hint, "Play", false, true, Checked::No},
    {"ToolButton7", "QToolButton", -1, 304, 31, 24, Text::Hint, "Stop", false, true, Checked::No},
    {"ToolButton1", "QToolButton", -1, 304, 31, 24, Text::Hint, "Prev. keyframe", false, true, Checked::NotCheckable},
    {"ToolButton8", "QToolButton", -1, 304, 31, 24, Text::Hint, "Next keyframe", false, true, Checked::NotCheckable},
    {"ToolButton13", "QToolButton", -1, 304, 31, 24, Text::Hint, "Mark IN", false, true, Checked::NotCheckable},
    {"ToolButton16", "QToolButton", -1, 304, 31, 24, Text::Hint, "Mark OUT", false, true, Checked::NotCheckable},
    {"StatusBar1", "kestrine::ui::TStatusBar", 16, 344, 321, 21, Text::None, "", true, true, Checked::NotCheckable},
    {"Label3", "QLabel", 352, 68, -1, -1, Text::Caption, "Volume", true, true, Checked::NotCheckable},
    {"TrackBar3", "kestrine::ui::TMyTrackBar", 338, 84, 32, 92, Text::None, "", true, true, Checked::NotCheckable},
    {"TrackBar4", "kestrine::ui::TMyTrackBar", 370, 84, 32, 92, Text::None, "", true, true, Checked::NotCheckable},
    {"CheckBox3", "QCheckBox", 348, 176, -1, -1, Text::Caption, "", true, true, Checked::No},
    {"CheckBox4", "QCheckBox", 380, 176, -1, -1, Text::Caption, "", true, true, Checked::No},
    {"Label4", "QLabel", 358, 196, -1, -1, Text::Caption, "Mute", true, true, Checked::NotCheckable},
    {"Button1", "QPushButton", 344, 240, 57, 23, Text::Caption, "Options", true, true, Checked::NotCheckable},
    {"Panel1", "QLabel", 288, 296, 169, 41, Text::Caption, "Working...", true, false, Checked::NotCheckable},
    {"StaticText2", "QLabel", 408, 8, 56, 17, Text::Caption, "Recorder", true, true, Checked::NotCheckable},
    {"CheckBox2", "QCheckBox", 480, 8, 137, 17, Text::Caption, "Original Aspect Ratio ", true, true, Checked::No},
    {"Bevel2", "QFrame", 407, 27, 322, 242, Text::None, "", true, true, Checked::NotCheckable},
    {"VideoWindow2", "QWidget", 408, 28, 320, 240, Text::None, "", true, true, Checked::NotCheckable},
    {"TrackBar2", "kestrine::ui::TMyTrackBar", 400, 270, 337, 33, Text::None, "", false, true, Checked::NotCheckable},
    {"ToolBar2", "QWidget", 443, 304, -1, 24, Text::None, "", true, true, Checked::NotCheckable},
    {"ToolButton28", "QToolButton", -1, 304, 31, 24, Text::Hint, "Play", false, true, Checked::No},
    {"ToolButton32", "QToolButton", -1, 304, 31, 24, Text::Hint, "Stop", false, true, Checked::No},
    {"ToolButton24", "QToolButton", -1, 304, 31, 24, Text::Hint, "Record", false, true, Checked::NotCheckable},
    {"ToolButton14", "QToolButton", -1, 304, 31, 24, Text::Hint, "Undo - (Can not Redo !)", false, true,
     Checked::NotCheckable},
    {"ToolButton38", "QToolButton", -1, 304, 31, 24, Text::Hint, "Save", false, true, Checked::NotCheckable},
    {"StatusBar2", "kestrine::ui::TStatusBar", 408, 344, 321, 21, Text::None, "", true, true, Checked::NotCheckable},
};

QString TextOf(const QWidget* w, Text kind)
{
    if (kind == Text::Hint) return w->toolTip();
    if (const auto* label = qobject_cast<const QLabel*>(w)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) return button->text();
    return {};
}

}  // namespace

TEST_F(FormTest, EveryNamedControlStandsInItsPlaceWithItsCaptionAndStartState)
{
    auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("KESTRINE "));
    EXPECT_EQ(form->size(), QSize(739, 372));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());  // no resizing
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);

    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        auto* w = form->findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(row.kind)) << w->metaObject()->className();
        const QPoint at = w->mapTo(form.get(), QPoint(0, 0));
        if (row.left >= 0) {
            EXPECT_EQ(at.x(), row.left);
        }
        EXPECT_EQ(at.y(), row.top);
        if (row.width >= 0) {
            EXPECT_EQ(w->width(), row.width);
        }
        if (row.height >= 0) {
            EXPECT_EQ(w->height(), row.height);
        }
        if (row.textKind != Text::None) {
            EXPECT_EQ(TextOf(w, row.textKind), QString::fromLatin1(row.text));
        }
        EXPECT_EQ(w->isEnabled(), row.enabled);
        EXPECT_EQ(w->isVisibleTo(form.get()), row.visible);
        if (row.checked != Checked::NotCheckable) {
            auto* button = qobject_cast<QAbstractButton*>(w);
            ASSERT_NE(button, nullptr);
            EXPECT_TRUE(button->isCheckable());
            EXPECT_EQ(button->isChecked(), row.checked == Checked::Yes);
        }
        // Members carry the same names.
        EXPECT_EQ(w->objectName(), QString::fromLatin1(row.name));
    }
}

TEST_F(FormTest, ToolBarsKeepTheirButtonsInOrderWithSeparatorsBetween)
{
    auto form = MakeForm();
    auto order = [&](std::initializer_list<QToolButton*> buttons) {
        std::optional<int> previousRight;
        for (QToolButton* b : buttons) {
            SCOPED_TRACE(b->objectName().toStdString());
            if (previousRight) {
                EXPECT_GT(b->x(), *previousRight + 1);  // a gap: the separator
            }
            previousRight = b->geometry().right();
            EXPECT_FALSE(b->icon().isNull());
        }
    };
    order({form->ToolButton17, form->ToolButton5, form->ToolButton7, form->ToolButton1, form->ToolButton8,
           form->ToolButton13, form->ToolButton16});
    order({form->ToolButton28, form->ToolButton32, form->ToolButton24, form->ToolButton14, form->ToolButton38});
    for (QToolButton* separator : {form->ToolButton29, form->ToolButton33, form->ToolButton36, form->ToolButton12})
        EXPECT_EQ(separator->width(), 24);
    EXPECT_EQ(form->ToolButton32->x(), form->ToolButton28->geometry().right() + 1 + 24);

    // Play and Stop of a pane release each other.
    form->ToolButton5->setChecked(true);
    form->ToolButton7->setChecked(true);
    EXPECT_FALSE(form->ToolButton5->isChecked());
    kestrine::ui::TForm1::ReleaseGroup(*form->PlayerTransport);
    EXPECT_FALSE(form->ToolButton7->isChecked());
    EXPECT_FALSE(form->ToolButton5->isChecked());
}

TEST_F(FormTest, SlidersTimersDialogsAndOptionsStartAsSet)
{
    auto form = MakeForm();
    form->show();

    struct SliderRow {
        TMyTrackBar* bar;
        TTrackBarOrientation orientation;
        int max, line, page, frequency;
        TTickStyle ticks;
        TTickMark marks;
        bool selection;
        int selEnd;
    };
    const SliderRow sliders[] = {
        {form->TrackBar1, TTrackBarOrientation::trHorizontal, 100, 1, 10, 10, TTickStyle::tsManual, TTickMark::tmBottomRight,
         true, 0},
        {form->TrackBar2, TTrackBarOrientation::trHorizontal, 100, 1, 10, 10, TTickStyle::tsAuto, TTickMark::tmBottomRight,
         true, 0},
        {form->TrackBar3, TTrackBarOrientation::trVertical, 10000, 100, 1000, 1000, TTickStyle::tsAuto, TTickMark::tmBoth,
         false, 10000},
        {form->TrackBar4, TTrackBarOrientation::trVertical, 10000, 100, 1000, 1000, TTickStyle::tsAuto, TTickMark::tmBoth,
         false, 10000},
    };
    for (const SliderRow& s : sliders) {
        SCOPED_TRACE(s.bar->objectName().toStdString());
        EXPECT_EQ(s.bar->Orientation(), s.orientation);
        EXPECT_EQ(s.bar->Min(), 0);
        EXPECT_EQ(s.bar->Max(), s.max);
        EXPECT_EQ(s.bar->Position(), 0);
        EXPECT_EQ(s.bar->LineSize(), s.line);
        EXPECT_EQ(s.bar->PageSize(), s.page);
        EXPECT_EQ(s.bar->Frequency(), s.frequency);
        EXPECT_EQ(s.bar->TickStyle(), s.ticks);
        EXPECT_EQ(s.bar->TickMarks(), s.marks);
        EXPECT_EQ(s.bar->SelectionShown(), s.selection);
        EXPECT_FALSE(s.bar->TooltipsShown());
        EXPECT_EQ(s.bar->SelStart(), 0);
        EXPECT_EQ(s.bar->SelEnd(), s.selEnd);
    }
    EXPECT_EQ(form->TrackBar1->TickValues(), (std::vector<int>{0, 100}));
    EXPECT_EQ(form->TrackBar3->ThumbLength(), 16);
    EXPECT_EQ(form->TrackBar3->focusPolicy(), Qt::ClickFocus);  // not a tab stop

    for (QTimer* t : {form->Timer1, form->Timer2}) {
        EXPECT_EQ(t->interval(), 100);
        EXPECT_FALSE(t->isActive());
    }
    EXPECT_EQ(form->Timer1->objectName(), QStringLiteral("Timer1"));
    EXPECT_EQ(form->OpenDialog1.Filter, "ASF files (*.asf; *.wmv)|*.asf;*.wmv|WMA Files (*.wma)|*.wma");
    EXPECT_EQ(form->OpenDialog1.DefaultExt, "asf");
    EXPECT_EQ(form->SaveDialog1.Filter, "ASF files (*.asf)|*.asf");
    EXPECT_EQ(form->SaveDialog1.DefaultExt, "asf");

    const QList<QAction*> items = form->PopupMenu1->actions();
    ASSERT_EQ(items.size(), 5);
    const char* names[] = {"CVB1", "Noindex1", "N1", "GetKf1", "Cont1"};
    const char* captions[] = {"CVB (always copy at very beginning)", "NoIndex (output file not indexed)", "",
                              "Get keyframes at open (may be slow)", "Continuous replay"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(items[i]->objectName(), QString::fromLatin1(names[i]));
        EXPECT_EQ(items[i]->text(), QString::fromLatin1(captions[i]));
        EXPECT_EQ(items[i]->isChecked(), i == 3);
    }
    EXPECT_TRUE(form->N1->isSeparator());
    EXPECT_EQ(form->ImageList1.Image(kestrine::ui::imgPlay).height(), 15);
    EXPECT_TRUE(form->StatusBar1->SimpleText().isEmpty());
    EXPECT_EQ(form->focusWidget(), form->StatusBar1);  // the control first given focus
}
