#include "ui/MyTrackBar.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

using kestrine::ui::TMyTrackBar;
using kestrine::ui::TTickMark;
using kestrine::ui::TTickStyle;
using kestrine::ui::TTrackBarOrientation;
namespace Code = kestrine::ui::ScrollCode;

namespace {

// Records the order of OnChange ("C<position>") and OnChangeDetail ("D<code>") calls.
struct EventLog {
    std::vector<std::string> events;
    void Attach(TMyTrackBar& bar)
    {
        bar.OnChange = [this, &bar](QObject* sender) {
            EXPECT_EQ(sender, &bar);
            events.push_back("C" + std::to_string(bar.Position()));
        };
        bar.OnChangeDetail = [this, &bar](QObject* sender, std::int16_t code) {
            EXPECT_EQ(sender, &bar);
            events.push_back("D" + std::to_string(code));
        };
    }
    std::size_t Changes() const
    {
        std::size_t n = 0;
        for (const auto& e : events) n += e[0] == 'C';
        return n;
    }
};

std::unique_ptr<TMyTrackBar> PositionBar()
{
    auto bar = std::make_unique<TMyTrackBar>();
    bar->resize(337, 33);
    bar->SetRange(0, 100);
    bar->SetLineSize(1);
    bar->SetPageSize(10);
    bar->SetTickStyle(TTickStyle::tsManual);
    bar->Selection = true;
    bar->show();
    return bar;
}

std::unique_ptr<TMyTrackBar> VolumeBar()
{
    auto bar = std::make_unique<TMyTrackBar>();
    bar->resize(32, 92);
    bar->SetOrientation(TTrackBarOrientation::trVertical);
    bar->SetRange(0, 10000);
    bar->SetLineSize(100);
    bar->SetPageSize(1000);
    bar->SetFrequency(1000);
    bar->SetTickMarks(TTickMark::tmBoth);
    bar->SetThumbLength(16);
    bar->show();
    return bar;
}

void Wheel(TMyTrackBar& bar, int angle)
{
    const QPointF at(bar.width() / 2.0, bar.height() / 2.0);
    QWheelEvent e(at, bar.mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                  false);
    QApplication::sendEvent(&bar, &e);
}

void Mouse(TMyTrackBar& bar, QEvent::Type type, QPoint at)
{
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, QPointF(at), bar.mapToGlobal(QPointF(at)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(&bar, &e);
}

void Key(TMyTrackBar& bar, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&bar, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(&bar, &release);
}

QPoint AlongAxis(const TMyTrackBar& bar, int pixel)
{
    const QPoint c = bar.ThumbRect().center();
    return bar.Orientation() == TTrackBarOrientation::trHorizontal ? QPoint(pixel, c.y()) : QPoint(c.x(), pixel);
}

}  // namespace

TEST(MyTrackBar, ThumbMessageMovesOnlyTheThumb)
{
    auto bar = PositionBar();
    EventLog log;
    log.Attach(*bar);
    bar->SetPosition(30);
    log.events.clear();

    bar->SetThumbPosition(70);
    EXPECT_EQ(bar->ThumbPosition(), 70);
    EXPECT_EQ(bar->Position(), 30);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(bar->ThumbRect().center().x(), bar->ValueToPixel(70));

    bar->SetThumbPosition(500);  // clamped like the platform's message
    EXPECT_EQ(bar->ThumbPosition(), 100);
    EXPECT_EQ(bar->Position(), 30);
    EXPECT_TRUE(log.events.empty());
}

TEST(MyTrackBar, SettingPositionClampsAndFiresOnlyOnChange)
{
    auto bar = PositionBar();
    EventLog log;
    log.Attach(*bar);

    bar->SetPosition(0);  // already 0
    EXPECT_EQ(log.Changes(), 0u);
    bar->SetPosition(40);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C40"}));
    bar->SetPosition(40);
    EXPECT_EQ(log.Changes(), 1u);
    bar->SetPosition(250);
    EXPECT_EQ(bar->Position(), 100);
    EXPECT_EQ(log.events.back(), "C100");
    bar->SetPosition(1000);  // clamps to the same value: no second event
    EXPECT_EQ(log.Changes(), 2u);
    bar->SetPosition(-5);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_EQ(bar->ThumbPosition(), 0);
    EXPECT_EQ(log.Changes(), 3u);
    // Setting the stored value again brings a thumb moved by message back, without an event.
    bar->SetThumbPosition(55);
    bar->SetPosition(0);
    EXPECT_EQ(bar->ThumbPosition(), 0);
    EXPECT_EQ(log.Changes(), 3u);
    // A range that no longer holds the stored position pulls it in, which is a change.
    bar->SetPosition(90);
    bar->SetMax(50);
    EXPECT_EQ(bar->Position(), 50);
    EXPECT_EQ(log.events.back(), "C50");
}

TEST(MyTrackBar, WheelStepsOneLinePerNotchAndStopsAtTheEnds)
{
    auto bar = VolumeBar();
    EventLog log;
    log.Attach(*bar);

    Wheel(*bar, -120);  // towards the user: down the vertical bar, towards Max
    EXPECT_EQ(bar->Position(), 100);
    Wheel(*bar, -360);  // a larger distance is still one line
    EXPECT_EQ(bar->Position(), 200);
    Wheel(*bar, 120);
    EXPECT_EQ(bar->Position(), 100);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C100", "D8", "C200", "D8", "C100", "D8"}));

    log.events.clear();
    Wheel(*bar, 120);
    Wheel(*bar, 120);  // at Min: no change, but the detail event still comes
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C0", "D8", "D8"}));

    bar->SetPosition(10000);
    log.events.clear();
    Wheel(*bar, -120);
    EXPECT_EQ(bar->Position(), 10000);
    EXPECT_EQ(log.events, (std::vector<std::string>{"D8"}));

    // On a position bar a notch towards the user moves one tenth towards Max.
    auto position = PositionBar();
    Wheel(*position, -120);
    EXPECT_EQ(position->Position(), 1);
}

TEST(MyTrackBar, WheelStartsFromTheThumbShown)
{
    auto bar = PositionBar();
    bar->SetThumbPosition(60);  // a pane's timer moved the thumb while playing
    Wheel(*bar, -120);
    EXPECT_EQ(bar->Position(), 61);
    EXPECT_EQ(bar->ThumbPosition(), 61);
}

TEST(MyTrackBar, DragReportsChangeBeforeDetailAndEndsWithPositionThenEndTrack)
{
    auto bar = PositionBar();
    EventLog log;
    log.Attach(*bar);
    const QPoint grab = bar->ThumbRect().center();
    Mouse(*bar, QEvent::MouseButtonPress, grab);
    EXPECT_TRUE(log.events.empty());  // pressing the thumb alone moves nothing

    const int target = bar->ValueToPixel(40);
    Mouse(*bar, QEvent::MouseMove, AlongAxis(*bar, target));
    ASSERT_EQ(log.events.size(), 2u);
    EXPECT_EQ(log.events[0], "C40");
    EXPECT_EQ(log.events[1], "D5");
    EXPECT_EQ(bar->ThumbPosition(), 40);

    // Every notification reports a change, also of the value already stored.
    Mouse(*bar, QEvent::MouseButtonRelease, AlongAxis(*bar, target));
    EXPECT_EQ(log.events, (std::vector<std::string>{"C40", "D5", "C40", "D4", "C40", "D8"}));
    EXPECT_EQ(bar->Position(), 40);
}

TEST(MyTrackBar, ClickOnTheTrackPagesTowardsTheClick)
{
    auto bar = PositionBar();
    EventLog log;
    log.Attach(*bar);
    const QPoint right = AlongAxis(*bar, bar->ValueToPixel(80));
    Mouse(*bar, QEvent::MouseButtonPress, right);
    EXPECT_EQ(bar->Position(), 10);
    Mouse(*bar, QEvent::MouseButtonRelease, right);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C10", "D3", "C10", "D8"}));

    log.events.clear();
    const QPoint left = AlongAxis(*bar, bar->ValueToPixel(0));
    Mouse(*bar, QEvent::MouseButtonPress, left);
    Mouse(*bar, QEvent::MouseButtonRelease, left);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C0", "D2", "C0", "D8"}));
}

TEST(MyTrackBar, KeysStepByLineAndPageAndJumpToTheEnds)
{
    auto bar = VolumeBar();
    EventLog log;
    log.Attach(*bar);
    Key(*bar, Qt::Key_Down);
    EXPECT_EQ(bar->Position(), 100);
    Key(*bar, Qt::Key_PageDown);
    EXPECT_EQ(bar->Position(), 1100);
    Key(*bar, Qt::Key_Up);
    EXPECT_EQ(bar->Position(), 1000);
    Key(*bar, Qt::Key_PageUp);
    EXPECT_EQ(bar->Position(), 0);
    Key(*bar, Qt::Key_End);
    EXPECT_EQ(bar->Position(), 10000);
    Key(*bar, Qt::Key_Right);  // already at Max: still a notification, reported as a change
    Key(*bar, Qt::Key_Home);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C100", "D1", "C100", "D8", "C1100", "D3", "C1100", "D8", "C1000",
                                                    "D0", "C1000", "D8", "C0", "D2", "C0", "D8", "C10000", "D7", "C10000",
                                                    "D8", "C10000", "D1", "C10000", "D8", "C0", "D6", "C0", "D8"}));
}

TEST(MyTrackBar, TicksFollowTheTickStyle)
{
    auto bar = PositionBar();
    EXPECT_EQ(bar->TickValues(), (std::vector<int>{0, 100}));  // manual, none placed: the ends only
    bar->SetTick(30);
    EXPECT_EQ(bar->TickValues(), (std::vector<int>{0, 30, 100}));
    bar->SetTickStyle(TTickStyle::tsAuto);
    bar->SetFrequency(25);
    EXPECT_EQ(bar->TickValues(), (std::vector<int>{0, 25, 50, 75, 100}));
    bar->SetTickStyle(TTickStyle::tsNone);
    EXPECT_TRUE(bar->TickValues().empty());
}

namespace {

QImage Picture(bool selection, int selStart, int selEnd)
{
    TMyTrackBar bar;
    bar.resize(337, 33);
    bar.SetRange(0, 100);
    bar.SetTickStyle(TTickStyle::tsManual);
    bar.Selection = selection;
    bar.SetSelStart(selStart);
    bar.SetSelEnd(selEnd);
    bar.SetThumbPosition(0);
    return bar.grab().toImage();
}

int DifferingPixels(const QImage& a, const QImage& b, const QRect& area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
    return n;
}

}  // namespace

TEST(MyTrackBar, SelectionRangeIsDrawnOnlyWhenSelectionIsOn)
{
    TMyTrackBar probe;
    probe.resize(337, 33);
    probe.SetRange(0, 100);
    const QRect span(probe.ValueToPixel(30), 0, probe.ValueToPixel(70) - probe.ValueToPixel(30), 33);

    const QImage offMarked = Picture(false, 20, 80);
    const QImage offEmpty = Picture(false, 0, 0);
    EXPECT_EQ(offMarked, offEmpty);

    const QImage onMarked = Picture(true, 20, 80);
    const QImage onEmpty = Picture(true, 0, 0);
    EXPECT_GT(DifferingPixels(onMarked, onEmpty, span), span.width());
}

TEST(MyTrackBar, CreationSwitchesTakeEffectOnlyWhenTheControlIsMade)
{
    TMyTrackBar bar;
    bar.resize(337, 33);
    bar.SetSelStart(10);
    bar.SetSelEnd(90);
    bar.show();
    EXPECT_FALSE(bar.SelectionShown());
    const QImage before = bar.grab().toImage();

    bar.Selection = true;
    bar.Tooltips = true;
    EXPECT_FALSE(bar.SelectionShown());
    EXPECT_FALSE(bar.TooltipsShown());
    EXPECT_EQ(bar.grab().toImage(), before);

    bar.RecreateWnd();
    EXPECT_TRUE(bar.SelectionShown());
    EXPECT_TRUE(bar.TooltipsShown());
    EXPECT_NE(bar.grab().toImage(), before);
}

TEST(MyTrackBar, VerticalBarHasMinAtTheTop)
{
    auto bar = VolumeBar();
    EXPECT_LT(bar->ValueToPixel(0), bar->ValueToPixel(10000));
    bar->SetPosition(10000);
    EXPECT_GT(bar->ThumbRect().center().y(), bar->height() / 2);
    // Fewer pixels than values: every pixel stands for one value that maps back onto it.
    for (int p = bar->ValueToPixel(0); p <= bar->ValueToPixel(10000); ++p) EXPECT_EQ(bar->ValueToPixel(bar->PixelToValue(p)), p);
}

TEST(MyTrackBar, EnterEventAndDisabledInput)
{
    auto bar = PositionBar();
    int entered = 0;
    bar->OnEnter = [&](QObject*) { ++entered; };
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(bar.get(), &in);
    EXPECT_EQ(entered, 1);

    EventLog log;
    log.Attach(*bar);
    bar->setEnabled(false);
    Wheel(*bar, -120);
    Key(*bar, Qt::Key_Right);
    EXPECT_EQ(bar->Position(), 0);
    EXPECT_TRUE(log.events.empty());
}

TEST(MyTrackBar, HoldingTheTrackKeepsPagingUntilTheThumbReachesThePress)
{
    auto bar = PositionBar();
    EventLog log;
    log.Attach(*bar);
    const QPoint press = AlongAxis(*bar, bar->ValueToPixel(45));
    Mouse(*bar, QEvent::MouseButtonPress, press);
    // The repeat runs on the event loop; wait (bounded) until it has stopped moving the thumb.
    QEventLoop loop;
    QTimer poll;
    int last = -1, still = 0;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        still = bar->ThumbPosition() == last ? still + 1 : 0;
        last = bar->ThumbPosition();
        if (still >= 5) loop.quit();
    });
    poll.start(100);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    Mouse(*bar, QEvent::MouseButtonRelease, press);

    // Pages of 10 towards the press until the thumb reaches or passes it; a point between two pages
    // (45) must not make the thumb swing back and forth.
    EXPECT_EQ(bar->Position(), 50);
    ASSERT_EQ(log.events.size(), 12u);
    EXPECT_EQ(log.events.back(), "D8");
    for (std::size_t i = 0; i + 1 < log.events.size(); i += 2) {
        EXPECT_EQ(log.events[i][0], 'C');
        if (i + 2 < log.events.size()) {
            EXPECT_EQ(log.events[i + 1], "D3");
        }
    }
}

TEST(MyTrackBar, ValueTipFollowsTheDragOnlyWhenTooltipsIsOn)
{
    auto plain = PositionBar();
    Mouse(*plain, QEvent::MouseButtonPress, plain->ThumbRect().center());
    Mouse(*plain, QEvent::MouseMove, AlongAxis(*plain, plain->ValueToPixel(30)));
    EXPECT_TRUE(QToolTip::text().isEmpty());
    Mouse(*plain, QEvent::MouseButtonRelease, AlongAxis(*plain, plain->ValueToPixel(30)));

    TMyTrackBar bar;
    bar.resize(337, 33);
    bar.SetRange(0, 100);
    bar.Tooltips = true;
    bar.show();
    Mouse(bar, QEvent::MouseButtonPress, bar.ThumbRect().center());
    Mouse(bar, QEvent::MouseMove, AlongAxis(bar, bar.ValueToPixel(30)));
    EXPECT_EQ(QToolTip::text(), QStringLiteral("30"));
    Mouse(bar, QEvent::MouseButtonRelease, AlongAxis(bar, bar.ValueToPixel(30)));
    QToolTip::hideText();
}

TEST(NoLostWorkTrackBar, AStepOntoTheStoredValueFromAThumbMovedApartStillReports)
{
    // The stored position 0, the thumb moved by the pane's timer to 50: Home lands on 0 again.
    auto bar = PositionBar();
    EventLog log;
    log.Attach(*bar);
    bar->SetThumbPosition(50);
    Key(*bar, Qt::Key_Home);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C0", "D6", "C0", "D8"}));

    // The wheel from a thumb at 1 onto the stored 0.
    log.events.clear();
    bar->SetThumbPosition(1);
    Wheel(*bar, 120);
    EXPECT_EQ(log.events, (std::vector<std::string>{"C0", "D8"}));
    EXPECT_EQ(bar->ThumbPosition(), 0);
}
