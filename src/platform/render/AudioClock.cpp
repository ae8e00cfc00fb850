#include "platform/render/AudioClock.h"

#include <algorithm>

namespace kestrine::platform {

REFERENCE_TIME AudioClock::Heard(REFERENCE_TIME now) const
{
    const REFERENCE_TIME carry = std::clamp(2 * gap_, kMinCarry, kMaxCarry);
    return base_ + played_ + std::clamp<REFERENCE_TIME>(now - changedAt_, 0, carry);
}

void AudioClock::Release(REFERENCE_TIME now)
{
    if (!held_) return;
    held_ = false;
    // The device starts again from the reading it stopped at, now, not from when it last moved.
    changedAt_ = std::max(changedAt_, now);
}

REFERENCE_TIME AudioClock::Read(REFERENCE_TIME now, PlayedReading reading)
{
    const REFERENCE_TIME age = std::max<REFERENCE_TIME>(0, now - reading.at);
    if (!started_) {
        started_ = true;
        played_ = reading.played;
        changedAt_ = reading.at;
        base_ = now - reading.played - age;
        value_ = now;
        lastNow_ = now;
        return value_;
    }
    now = std::max(now, lastNow_);
    if (reading.played < played_) {
        // The device counts from 0 again (it was reopened): carry on from where the clock is.
        played_ = reading.played;
        changedAt_ = reading.at;
        base_ = value_ - reading.played - age;
        moved_ = false;
    } else if (reading.played > played_) {
        if (reading.at > changedAt_) gap_ = std::max(reading.at - changedAt_, gap_ - gap_ / 8);
        played_ = reading.played;
        changedAt_ = std::max(reading.at, changedAt_);
        moved_ = true;
    }
    const REFERENCE_TIME dt = now - lastNow_;
    lastNow_ = now;
    if (held_) return value_;
    if (now - changedAt_ > (moved_ ? kStall : kStartStall)) {
        stalled_ = true;
        value_ += dt;
        return value_;
    }
    if (stalled_) {
        stalled_ = false;
        base_ = value_ - played_ - std::max<REFERENCE_TIME>(0, now - changedAt_);
    }

    const REFERENCE_TIME heard = Heard(now);
    REFERENCE_TIME next = value_ + dt;
    if (heard > next) {
        const REFERENCE_TIME behind = heard - next;
        // A small lag is made up at a slightly quicker pace; a large one (the device's report
        // moved on at once) within a few tenths of a second, since while it lasts the picture
        // runs ahead of the sound.
        REFERENCE_TIME step = std::min(behind, dt / kSlewDivisor);
        if (behind > kQuickCatchUp) step = std::max(step, behind * dt / kCatchUpSpan);
        next += behind > kResync ? behind : std::min(step, behind);
    } else if (heard < next) {
        const REFERENCE_TIME ahead = next - heard;
        // A little ahead is the jitter of the readings: slow down. Far ahead, the device has
        // stopped or fallen behind: wait for it.
        next = ahead <= kSlack ? next - std::min(ahead, dt / kSlewDivisor) : heard;
    }
    value_ = std::max(value_, next);
    return value_;
}

}  // namespace kestrine::platform
