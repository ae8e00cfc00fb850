#pragma once
// The reference time of a playing sound device. The device tells how much it has played so far;
// that reading comes in steps (each time the device takes a block) and stops when the device is
// paused. AudioClock turns it into a clock that runs at the system clock's pace between readings,
// follows the device's own pace over time, never goes back and never leaps on a block refill, and
// stands still while the device is held (paused).
//
// Plain value type: the caller serialises access.
#include "platform/com/Types.h"

namespace kestrine::platform {

struct PlayedReading {
    REFERENCE_TIME at = 0;      // monotonic system time the reading was taken
    REFERENCE_TIME played = 0;  // device time played so far, from the device's start
};

class AudioClock {
public:
    // How far past its latest change a reading may be carried forward when no new one comes;
    // beyond that the device is taken to have stopped and the clock waits for it.
    static constexpr REFERENCE_TIME kMinCarry = 200'000;    // 20 ms
    static constexpr REFERENCE_TIME kMaxCarry = 2'500'000;  // 250 ms
    // Behind the device by more than this (a stall of the caller), the clock catches up at once.
    static constexpr REFERENCE_TIME kResync = 2'000'000;    // 200 ms
    // Behind the device by more than this, the clock makes the lag up over about kCatchUpSpan.
    static constexpr REFERENCE_TIME kQuickCatchUp = 300'000;  // 30 ms
    static constexpr REFERENCE_TIME kCatchUpSpan = 1'500'000; // 150 ms
    // Ahead of the device by less than this, the clock slows gently instead of standing still.
    static constexpr REFERENCE_TIME kSlack = 150'000;       // 15 ms
    // A reading that has not moved for this long, unasked, is a device that stalls: the clock
    // then runs on at the system's pace, so the picture never freezes on a broken device, and
    // picks the device up again, from where it stands, once it moves.
    static constexpr REFERENCE_TIME kStall = 5'000'000;     // 500 ms
    // A device that has not played anything yet may take longer to start.
    static constexpr REFERENCE_TIME kStartStall = 20'000'000;  // 2 s
    // Small corrections change the clock's pace by at most 1/kSlewDivisor.
    static constexpr REFERENCE_TIME kSlewDivisor = 20;      // 5 %

    // The clock at system time now, given the device's latest reading. The first call places the
    // clock at now, so a clock that ran on the system clock before the device started goes on
    // without a jump.
    REFERENCE_TIME Read(REFERENCE_TIME now, PlayedReading reading);

    // While held the clock stands at its value (the device is paused); Release lets it run on
    // from there as the device plays again.
    void Hold() { held_ = true; }
    void Release(REFERENCE_TIME now);
    bool Held() const { return held_; }

    bool Started() const { return started_; }
    REFERENCE_TIME Value() const { return value_; }
    // The device time a clock time stands for: where on the device's timeline a sample due at
    // clockTime has to be to sound then.
    REFERENCE_TIME DeviceTimeAt(REFERENCE_TIME clockTime) const { return clockTime - base_; }
    // And back: the clock time at which a point of the device's timeline sounds.
    REFERENCE_TIME ClockTimeAt(REFERENCE_TIME deviceTime) const { return deviceTime + base_; }
    // Moves when the clock takes up a device again after a stall or a reopening: what was placed
    // on the device's timeline by the old origin moves by the same amount.
    REFERENCE_TIME Origin() const { return base_; }

private:
    // What the device is heard to have played by now, on the clock's scale.
    REFERENCE_TIME Heard(REFERENCE_TIME now) const;

    bool started_ = false;
    bool held_ = false;
    bool stalled_ = false;
    bool moved_ = false;            // the reading has advanced since the clock started
    REFERENCE_TIME base_ = 0;       // clock time of device time 0
    REFERENCE_TIME value_ = 0;      // the last time given
    REFERENCE_TIME lastNow_ = 0;
    REFERENCE_TIME played_ = 0;     // the latest reading's value
    REFERENCE_TIME changedAt_ = 0;  // system time the reading took that value
    REFERENCE_TIME gap_ = 0;        // recent longest time between changes of the reading
};

}  // namespace kestrine::platform
