#pragma once
#include "ui/NotifyEvent.h"

#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

namespace kestrine::ui {

enum class TTrackBarOrientation { trHorizontal, trVertical };
enum class TTickStyle { tsNone, tsAuto, tsManual };
enum class TTickMark { tmBottomRight, tmTopLeft, tmBoth };

// The track bar's scroll codes, as reported to OnChangeDetail.
namespace ScrollCode {
inline constexpr std::int16_t TB_LINEUP = 0;
inline constexpr std::int16_t TB_LINEDOWN = 1;
inline constexpr std::int16_t TB_PAGEUP = 2;
inline constexpr std::int16_t TB_PAGEDOWN = 3;
inline constexpr std::int16_t TB_THUMBPOSITION = 4;
inline constexpr std::int16_t TB_THUMBTRACK = 5;
inline constexpr std::int16_t TB_TOP = 6;
inline constexpr std::int16_t TB_BOTTOM = 7;
inline constexpr std::int16_t TB_ENDTRACK = 8;
}  // namespace ScrollCode

using Tchangedetail = std::function<void(QObject* sender, std::int16_t scrollcode)>;

// The editor's slider: a track bar with a stored position and a thumb that can be moved apart from it,
// a selection range, ticks, keys, mouse and wheel. Every user action is reported as a scroll
// notification: the thumb's value becomes Position and OnChange fires (also when the value is the one
// stored), then OnChangeDetail gets the scroll code. Vertical bars have Min at the top.
class TMyTrackBar : public QWidget {
    Q_OBJECT
public:
    explicit TMyTrackBar(QWidget* parent = nullptr);

    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetMin(int value);
    void SetMax(int value);
    void SetRange(int min, int max);

    // The stored position. Setting it clamps to Min..Max, moves the thumb there and fires OnChange
    // only when the stored value changes.
    int Position() const { return position_; }
    void SetPosition(int value);

    // Where the thumb stands; differs from Position after SetThumbPosition.
    int ThumbPosition() const { return thumb_; }
    // Moves only the thumb (clamped) and redraws: Position stays, no OnChange. For display updates
    // that must not look like a user's change.
    void SetThumbPosition(int value);

    int LineSize() const { return lineSize_; }
    void SetLineSize(int value) { lineSize_ = value; }
    int PageSize() const { return pageSize_; }
    void SetPageSize(int value) { pageSize_ = value; }
    int Frequency() const { return frequency_; }
    void SetFrequency(int value);
    int SelStart() const { return selStart_; }
    void SetSelStart(int value);
    int SelEnd() const { return selEnd_; }
    void SetSelEnd(int value);
    TTrackBarOrientation Orientation() const { return orientation_; }
    void SetOrientation(TTrackBarOrientation value);
    TTickStyle TickStyle() const { return tickStyle_; }
    void SetTickStyle(TTickStyle value);
    TTickMark TickMarks() const { return tickMarks_; }
    void SetTickMarks(TTickMark value);
    int ThumbLength() const { return thumbLength_; }
    void SetThumbLength(int value);
    // A tick of the manual style (the ends always carry one).
    void SetTick(int value);
    // All manual ticks at once, replacing those there were.
    void SetTicks(std::vector<int> values);
    void ClearTicks();
    void SetTabStop(bool value);

    // The values that carry a tick, in ascending order.
    std::vector<int> TickValues() const;

    // Creation switches: read when the control is made (its first polish) and again by RecreateWnd,
    // not on every change.
    bool Tooltips = false;
    bool Selection = false;
    void RecreateWnd();
    bool SelectionShown() const { return createdSelection_; }
    bool TooltipsShown() const { return createdTooltips_; }

    TNotifyEvent OnChange;
    Tchangedetail OnChangeDetail;
    TNotifyEvent OnEnter;

    // Geometry, in the control's own pixels.
    QRect ChannelRect() const;
    QRect ThumbRect() const;
    int ValueToPixel(int value) const;  // along the axis
    int PixelToValue(int pixel) const;

    QSize sizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    enum class Drag { None, Thumb, Paging };

    bool Horizontal() const { return orientation_ == TTrackBarOrientation::trHorizontal; }
    int Clamp(int value) const;
    void ReadCreationSwitches();
    void ApplyRangeChange();
    // A user action moved the thumb (or not): Position takes the thumb's value, then the detail event.
    void Notify(std::int16_t code);
    void MoveThumbBy(int delta, std::int16_t code);
    void MoveThumbTo(std::int64_t target, std::int16_t code);
    void PageTowardsPress();
    void EndDrag();
    void ShowValueTip();
    int AlongOf(const QPoint& p) const { return Horizontal() ? p.x() : p.y(); }
    int Length() const { return Horizontal() ? width() : height(); }
    int Breadth() const { return Horizontal() ? height() : width(); }
    int ThumbBreadthAlong() const;
    int ThumbAcrossStart() const;
    QRect FromAxes(int alongStart, int acrossStart, int alongSize, int acrossSize) const;

    int min_ = 0;
    int max_ = 10;
    int position_ = 0;
    int thumb_ = 0;
    int lineSize_ = 1;
    int pageSize_ = 2;
    int frequency_ = 1;
    int selStart_ = 0;
    int selEnd_ = 0;
    int thumbLength_ = 20;
    TTrackBarOrientation orientation_ = TTrackBarOrientation::trHorizontal;
    TTickStyle tickStyle_ = TTickStyle::tsAuto;
    TTickMark tickMarks_ = TTickMark::tmBottomRight;
    std::vector<int> manualTicks_;

    bool created_ = false;
    bool createdSelection_ = false;
    bool createdTooltips_ = false;

    Drag drag_ = Drag::None;
    int dragOffset_ = 0;     // press point minus thumb centre, along the axis
    int pressAlong_ = 0;     // where the track was pressed while paging
    int pageDirection_ = 0;  // -1 towards Min, +1 towards Max, 0 before the first page
    QTimer pageRepeat_;
};

}  // namespace kestrine::ui
