#include "ui/MyTrackBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <cstdint>

namespace kestrine::ui {

namespace {

// Space between the control's edge and the thumb's farthest travel, along the axis.
constexpr int kEndMargin = 4;
// While the track is held, the thumb pages this often.
constexpr int kPageRepeatMs = 100;

bool IsNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Left: case Qt::Key_Up: case Qt::Key_Right: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

}  // namespace

TMyTrackBar::TMyTrackBar(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover, false);
    pageRepeat_.setInterval(kPageRepeatMs);
    connect(&pageRepeat_, &QTimer::timeout, this, [this] { PageTowardsPress(); });
}

int TMyTrackBar::Clamp(int value) const { return std::clamp(value, min_, max_); }

void TMyTrackBar::SetMin(int value)
{
    min_ = value;
    if (max_ < value) max_ = value;
    ApplyRangeChange();
}

void TMyTrackBar::SetMax(int value)
{
    max_ = value;
    if (min_ > value) min_ = value;
    ApplyRangeChange();
}

void TMyTrackBar::SetRange(int min, int max)
{
    min_ = min;
    max_ = std::max(min, max);
    ApplyRangeChange();
}

void TMyTrackBar::ApplyRangeChange()
{
    thumb_ = Clamp(thumb_);
    update();
    const int clamped = Clamp(position_);
    if (clamped != position_) {
        position_ = clamped;
        if (OnChange) OnChange(this);
    }
}

void TMyTrackBar::SetPosition(int value)
{
    const int v = Clamp(value);
    if (thumb_ != v) {
        thumb_ = v;
        update();
    }
    if (v == position_) return;
    position_ = v;
    if (OnChange) OnChange(this);
}

void TMyTrackBar::SetThumbPosition(int value)
{
    const int v = Clamp(value);
    if (v == thumb_) return;
    thumb_ = v;
    update();
}

void TMyTrackBar::SetFrequency(int value)
{
    frequency_ = value;
    update();
}

void TMyTrackBar::SetSelStart(int value)
{
    selStart_ = value;
    update();
}

void TMyTrackBar::SetSelEnd(int value)
{
    selEnd_ = value;
    update();
}

void TMyTrackBar::SetOrientation(TTrackBarOrientation value)
{
    orientation_ = value;
    updateGeometry();
    update();
}

void TMyTrackBar::SetTickStyle(TTickStyle value)
{
    tickStyle_ = value;
    update();
}

void TMyTrackBar::SetTickMarks(TTickMark value)
{
    tickMarks_ = value;
    update();
}

void TMyTrackBar::SetThumbLength(int value)
{
    thumbLength_ = std::max(8, value);
    update();
}

void TMyTrackBar::SetTick(int value)
{
    if (std::find(manualTicks_.begin(), manualTicks_.end(), value) == manualTicks_.end()) manualTicks_.push_back(value);
    update();
}

void TMyTrackBar::SetTicks(std::vector<int> values)
{
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    manualTicks_ = std::move(values);
    update();
}

void TMyTrackBar::ClearTicks()
{
    manualTicks_.clear();
    update();
}

void TMyTrackBar::SetTabStop(bool value) { setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus); }

std::vector<int> TMyTrackBar::TickValues() const
{
    std::vector<int> ticks;
    if (tickStyle_ == TTickStyle::tsNone) return ticks;
    ticks.push_back(min_);
    if (tickStyle_ == TTickStyle::tsAuto && frequency_ > 0) {
        for (std::int64_t v = std::int64_t{min_} + frequency_; v < max_; v += frequency_) ticks.push_back(static_cast<int>(v));
    } else if (tickStyle_ == TTickStyle::tsManual) {
        for (int v : manualTicks_)
            if (v > min_ && v < max_) ticks.push_back(v);
    }
    if (max_ != min_) ticks.push_back(max_);
    std::sort(ticks.begin(), ticks.end());
    ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
    return ticks;
}

void TMyTrackBar::ReadCreationSwitches()
{
    created_ = true;
    createdSelection_ = Selection;
    createdTooltips_ = Tooltips;
}

void TMyTrackBar::RecreateWnd()
{
    ReadCreationSwitches();
    update();
}

bool TMyTrackBar::event(QEvent* e)
{
    if (e->type() == QEvent::Polish && !created_) ReadCreationSwitches();
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        // A disabled control takes no part in a drag any more.
        pageRepeat_.stop();
        drag_ = Drag::None;
    }
    return QWidget::event(e);
}

// ---- geometry -------------------------------------------------------------------------------------

int TMyTrackBar::ThumbBreadthAlong() const { return std::max(7, thumbLength_ * 11 / 20) | 1; }

int TMyTrackBar::ThumbAcrossStart() const
{
    const int across = Breadth();
    if (tickStyle_ == TTickStyle::tsNone || tickMarks_ == TTickMark::tmBoth) return (across - thumbLength_) / 2;
    if (tickMarks_ == TTickMark::tmBottomRight) return kEndMargin;
    return across - kEndMargin - thumbLength_;
}

QRect TMyTrackBar::FromAxes(int alongStart, int acrossStart, int alongSize, int acrossSize) const
{
    return Horizontal() ? QRect(alongStart, acrossStart, alongSize, acrossSize)
                        : QRect(acrossStart, alongStart, acrossSize, alongSize);
}

int TMyTrackBar::ValueToPixel(int value) const
{
    const int first = kEndMargin + ThumbBreadthAlong() / 2;
    const int last = Length() - 1 - kEndMargin - ThumbBreadthAlong() / 2;
    if (max_ == min_ || last <= first) return first;
    const std::int64_t span = std::int64_t{max_} - min_;
    const std::int64_t offset = std::int64_t{Clamp(value)} - min_;
    return first + static_cast<int>((offset * (last - first) + span / 2) / span);
}

int TMyTrackBar::PixelToValue(int pixel) const
{
    const int first = kEndMargin + ThumbBreadthAlong() / 2;
    const int last = Length() - 1 - kEndMargin - ThumbBreadthAlong() / 2;
    if (last <= first) return min_;
    const int p = std::clamp(pixel, first, last);
    const std::int64_t span = std::int64_t{max_} - min_;
    const std::int64_t pixels = last - first;
    return Clamp(static_cast<int>(min_ + ((p - first) * span + pixels / 2) / pixels));
}

QRect TMyTrackBar::ChannelRect() const
{
    const int thickness = createdSelection_ ? 6 : 4;
    const int centre = ThumbAcrossStart() + thumbLength_ / 2;
    const int start = kEndMargin + ThumbBreadthAlong() / 2 - 2;
    const int end = Length() - 1 - kEndMargin - ThumbBreadthAlong() / 2 + 2;
    return FromAxes(start, centre - thickness / 2, end - start + 1, thickness);
}

QRect TMyTrackBar::ThumbRect() const
{
    const int b = ThumbBreadthAlong();
    return FromAxes(ValueToPixel(thumb_) - b / 2, ThumbAcrossStart(), b, thumbLength_);
}

QSize TMyTrackBar::sizeHint() const { return Horizontal() ? QSize(150, 33) : QSize(33, 150); }

// ---- notifications --------------------------------------------------------------------------------

void TMyTrackBar::Notify(std::int16_t code)
{
    // Every notification reports, also when the value equals the stored one: the thumb may have stood
    // apart from it (moved by SetThumbPosition), and the user expects the pane to go where it points.
    position_ = thumb_;
    if (OnChange) OnChange(this);
    if (OnChangeDetail) OnChangeDetail(this, code);
}

void TMyTrackBar::MoveThumbBy(int delta, std::int16_t code) { MoveThumbTo(std::int64_t{thumb_} + delta, code); }

void TMyTrackBar::MoveThumbTo(std::int64_t target, std::int16_t code)
{
    const int v = static_cast<int>(std::clamp<std::int64_t>(target, min_, max_));
    if (v != thumb_) {
        thumb_ = v;
        update();
    }
    Notify(code);
}

void TMyTrackBar::PageTowardsPress()
{
    const QRect thumb = ThumbRect();
    const int thumbStart = Horizontal() ? thumb.left() : thumb.top();
    const int thumbEnd = Horizontal() ? thumb.right() : thumb.bottom();
    // The direction is fixed by the first step: once the thumb reaches or passes the pressed point it
    // stays, instead of swinging around a point that lies between two pages.
    if (pageDirection_ == 0) pageDirection_ = pressAlong_ < thumbStart ? -1 : pressAlong_ > thumbEnd ? 1 : 0;
    if (pageDirection_ < 0 && pressAlong_ < thumbStart && thumb_ > min_) {
        MoveThumbBy(-pageSize_, ScrollCode::TB_PAGEUP);
    } else if (pageDirection_ > 0 && pressAlong_ > thumbEnd && thumb_ < max_) {
        MoveThumbBy(pageSize_, ScrollCode::TB_PAGEDOWN);
    } else {
        pageRepeat_.stop();
    }
}

void TMyTrackBar::EndDrag()
{
    const Drag was = drag_;
    drag_ = Drag::None;
    pageRepeat_.stop();
    if (was == Drag::Thumb) {
        if (createdTooltips_) QToolTip::hideText();
        Notify(ScrollCode::TB_THUMBPOSITION);
    }
    Notify(ScrollCode::TB_ENDTRACK);
}

void TMyTrackBar::ShowValueTip()
{
    if (!createdTooltips_) return;
    const QRect thumb = ThumbRect();
    const QPoint at = Horizontal() ? QPoint(thumb.center().x(), thumb.top() - 20) : QPoint(thumb.left() - 30, thumb.center().y());
    QToolTip::showText(mapToGlobal(at), QString::number(thumb_), this);
}

// ---- input ----------------------------------------------------------------------------------------

void TMyTrackBar::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || drag_ != Drag::None) {
        QWidget::mousePressEvent(e);
        return;
    }
    const QPoint p = e->position().toPoint();
    const int along = AlongOf(p);
    if (ThumbRect().contains(p)) {
        drag_ = Drag::Thumb;
        dragOffset_ = along - ValueToPixel(thumb_);
        ShowValueTip();
    } else {
        drag_ = Drag::Paging;
        pressAlong_ = along;
        pageDirection_ = 0;
        PageTowardsPress();
        if (drag_ == Drag::Paging) pageRepeat_.start();
    }
    e->accept();
}

void TMyTrackBar::mouseMoveEvent(QMouseEvent* e)
{
    const int along = AlongOf(e->position().toPoint());
    if (drag_ == Drag::Thumb) {
        const int v = PixelToValue(along - dragOffset_);
        if (v != thumb_) {
            thumb_ = v;
            update();
            ShowValueTip();
            Notify(ScrollCode::TB_THUMBTRACK);
        }
    } else if (drag_ == Drag::Paging) {
        pressAlong_ = along;
    }
    e->accept();
}

void TMyTrackBar::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && drag_ != Drag::None) {
        EndDrag();
        e->accept();
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void TMyTrackBar::keyPressEvent(QKeyEvent* e)
{
    // Alt and Ctrl with these keys belong to the window (keyframe steps and the like), not to the slider.
    if (e->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Left: case Qt::Key_Up: MoveThumbBy(-lineSize_, ScrollCode::TB_LINEUP); break;
    case Qt::Key_Right: case Qt::Key_Down: MoveThumbBy(lineSize_, ScrollCode::TB_LINEDOWN); break;
    case Qt::Key_PageUp: MoveThumbBy(-pageSize_, ScrollCode::TB_PAGEUP); break;
    case Qt::Key_PageDown: MoveThumbBy(pageSize_, ScrollCode::TB_PAGEDOWN); break;
    case Qt::Key_Home: MoveThumbTo(min_, ScrollCode::TB_TOP); break;
    case Qt::Key_End: MoveThumbTo(max_, ScrollCode::TB_BOTTOM); break;
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

void TMyTrackBar::keyReleaseEvent(QKeyEvent* e)
{
    if (IsNavigationKey(e->key()) && !(e->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier))) {
        if (!e->isAutoRepeat()) Notify(ScrollCode::TB_ENDTRACK);
        e->accept();
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void TMyTrackBar::wheelEvent(QWheelEvent* e)
{
    const QPoint delta = e->angleDelta();
    // A sideways wheel is not this control's business; a touchpad's begin and end markers carry no turn.
    if (delta.y() == 0 && (delta.x() != 0 || e->phase() == Qt::ScrollBegin || e->phase() == Qt::ScrollEnd)) {
        e->ignore();
        return;
    }
    // One line per wheel message whatever its distance: towards the user is towards Max. The step
    // starts from the thumb the user sees (it can stand apart from Position while a pane plays).
    // A step onto the stored value still reports when the thumb moved, as the thumb is what the user saw.
    const std::int64_t target = std::int64_t{thumb_} + (delta.y() < 0 ? lineSize_ : -std::int64_t{lineSize_});
    const int v = static_cast<int>(std::clamp<std::int64_t>(target, min_, max_));
    if (v != thumb_ || v != position_) {
        thumb_ = v;
        position_ = v;
        update();
        if (OnChange) OnChange(this);
    }
    if (OnChangeDetail) OnChangeDetail(this, ScrollCode::TB_ENDTRACK);
    e->accept();
}

void TMyTrackBar::focusInEvent(QFocusEvent* e)
{
    QWidget::focusInEvent(e);
    update();
    if (OnEnter) OnEnter(this);
}

void TMyTrackBar::focusOutEvent(QFocusEvent* e)
{
    QWidget::focusOutEvent(e);
    update();
}

}  // namespace kestrine::ui
