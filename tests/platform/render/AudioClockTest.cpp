#include "platform/render/AudioClock.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace kestrine::platform;

namespace {

constexpr REFERENCE_TIME kMs = 10'000;

// A simulated sound device: it plays at its own pace (a little off the system clock's), stops
// while paused, and reports what it has played only in steps, the way a device that is fed in
// blocks does.
class FakeDevice {
public:
    explicit FakeDevice(double pace, REFERENCE_TIME step) : pace_(pace), step_(step) {}

    // Moves system time to now.
    void RunTo(REFERENCE_TIME now)
    {
        if (playing_) truth_ += static_cast<REFERENCE_TIME>(static_cast<double>(now - now_) * pace_);
        now_ = now;
    }
    void SetPlaying(bool playing) { playing_ = playing; }
    void Restart() { truth_ = 0; }

    // What the device has really played.
    REFERENCE_TIME Truth() const { return truth_; }
    // What it says: the truth rounded down to whole blocks, taken now.
    PlayedReading Reading() const { return {now_, truth_ - truth_ % step_}; }

private:
    double pace_;
    REFERENCE_TIME step_;
    bool playing_ = true;
    REFERENCE_TIME now_ = 0;
    REFERENCE_TIME truth_ = 0;
};

// Reads the clock every 1 to 7 ms of system time (a fixed pseudo-random pattern), checking on
// every read that it never goes back and never runs faster than the pace it may slew to.
class Poller {
public:
    Poller(AudioClock& clock, FakeDevice& device) : clock_(clock), device_(device) {}

    void For(REFERENCE_TIME duration, const std::function<void(REFERENCE_TIME now, REFERENCE_TIME value)>& each = {})
    {
        const REFERENCE_TIME end = now_ + duration;
        while (now_ < end) {
            seed_ = seed_ * 1103515245u + 12345u;
            const REFERENCE_TIME dt = (1 + static_cast<REFERENCE_TIME>((seed_ >> 16) % 7)) * kMs;
            now_ += dt;
            device_.RunTo(now_);
            const REFERENCE_TIME value = clock_.Read(now_, device_.Reading());
            if (reads_ > 0) {
                EXPECT_GE(value, last_) << "went back at " << now_ / kMs << " ms";
                maxStepExcess_ = std::max(maxStepExcess_, (value - last_) - (dt + dt / AudioClock::kSlewDivisor + 1));
            }
            last_ = value;
            ++reads_;
            if (each) each(now_, value);
        }
    }

    REFERENCE_TIME Now() const { return now_; }
    REFERENCE_TIME Last() const { return last_; }
    // How far the largest single step went past the pace the clock may run at (0 or less: no jump).
    REFERENCE_TIME MaxStepExcess() const { return maxStepExcess_; }

private:
    AudioClock& clock_;
    FakeDevice& device_;
    REFERENCE_TIME now_ = 1'000'000'000;
    REFERENCE_TIME last_ = 0;
    std::uint32_t seed_ = 7;
    std::uint64_t reads_ = 0;
    REFERENCE_TIME maxStepExcess_ = 0;
};

}  // namespace

TEST(AudioClock, StartsAtTheSystemTimeAndFollowsTheDevicesPaceThroughBlockRefills)
{
    // The device runs 0.3 % fast and reports in 20 ms blocks; over 20 s it gains 60 ms on the
    // system clock, and the clock has to gain it too, without a leap at any refill.
    FakeDevice device(1.003, 20 * kMs);
    AudioClock clock;
    Poller poll(clock, device);
    poll.For(1 * kMs);
    const REFERENCE_TIME start = poll.Last();
    EXPECT_EQ(start, poll.Now()) << "the first reading places the clock at the system time";
    const REFERENCE_TIME origin = start - device.Truth();

    REFERENCE_TIME worst = 0;
    poll.For(20'000 * kMs, [&](REFERENCE_TIME now, REFERENCE_TIME value) {
        if (now - start > 2'000 * kMs) worst = std::max(worst, std::abs(value - (origin + device.Truth())));
    });
    EXPECT_LE(worst, 12 * kMs) << "the clock strays from what the device has played";
    EXPECT_LE(poll.MaxStepExcess(), 0) << "the clock leapt";
    EXPECT_GT(poll.Last() - start, 20'050 * kMs) << "it kept the system's pace, not the device's";
}

TEST(AudioClock, SlowDeviceWithCoarseBlocksIsFollowedSmoothly)
{
    FakeDevice device(0.997, 45 * kMs);
    AudioClock clock;
    Poller poll(clock, device);
    poll.For(1 * kMs);
    const REFERENCE_TIME origin = poll.Last() - device.Truth();
    REFERENCE_TIME worst = 0;
    poll.For(15'000 * kMs, [&](REFERENCE_TIME, REFERENCE_TIME value) {
        worst = std::max(worst, std::abs(value - (origin + device.Truth())));
    });
    EXPECT_LE(worst, 50 * kMs) << "never more than about one block away";
    EXPECT_LE(poll.MaxStepExcess(), 0);
    // Well settled, it sits within the block size of the truth.
    worst = 0;
    poll.For(2'000 * kMs, [&](REFERENCE_TIME, REFERENCE_TIME value) {
        worst = std::max(worst, std::abs(value - (origin + device.Truth())));
    });
    EXPECT_LE(worst, 45 * kMs);
}

TEST(AudioClock, StandsWhileThePausedDeviceIsHeldAndRunsOnPastADeviceThatStalls)
{
    FakeDevice device(1.0, 20 * kMs);
    AudioClock clock;
    Poller poll(clock, device);
    poll.For(1'000 * kMs);
    const REFERENCE_TIME origin = poll.Last() - device.Truth();

    // Stopped without the clock being told (a device that stalls): the clock waits briefly for
    // it, then goes on at the system's pace so the picture does not freeze, and takes the device
    // up again without a leap when it moves.
    device.SetPlaying(false);
    const REFERENCE_TIME stalledAt = poll.Last();
    poll.For(2'000 * kMs);
    EXPECT_GT(poll.Last() - stalledAt, 1'200 * kMs) << "a stalled device froze the clock";
    EXPECT_LE(poll.Last() - stalledAt, 2'050 * kMs);
    device.SetPlaying(true);
    const REFERENCE_TIME movedAt = poll.Last();
    const REFERENCE_TIME truthAt = device.Truth();
    poll.For(1'000 * kMs);
    EXPECT_NEAR(static_cast<double>(poll.Last() - movedAt), static_cast<double>(device.Truth() - truthAt), 30.0 * kMs);
    EXPECT_LE(poll.MaxStepExcess(), 0) << "no leap on stalling or on moving again";
    const REFERENCE_TIME rebased = poll.Last() - device.Truth();

    // Told of the pause, the clock stands at once and starts again with the device.
    clock.Hold();
    device.SetPlaying(false);
    const REFERENCE_TIME held = poll.Last();
    poll.For(1'000 * kMs);
    EXPECT_EQ(poll.Last(), held);
    clock.Release(poll.Now());
    device.SetPlaying(true);
    poll.For(1'000 * kMs);
    EXPECT_NEAR(static_cast<double>(poll.Last() - held), 1'000.0 * kMs, 30.0 * kMs);
    EXPECT_LE(std::abs(poll.Last() - (rebased + device.Truth())), 25 * kMs) << "a pause it was told of moves nothing";
    (void)origin;
    EXPECT_LE(poll.MaxStepExcess(), 0);
}

TEST(AudioClock, ReopenedDeviceCountingFromZeroDoesNotTurnTheClockBack)
{
    FakeDevice device(1.0, 10 * kMs);
    AudioClock clock;
    Poller poll(clock, device);
    poll.For(3'000 * kMs);
    const REFERENCE_TIME before = poll.Last();
    device.Restart();
    poll.For(1'000 * kMs);  // Poller fails the test if any read goes back
    EXPECT_NEAR(static_cast<double>(poll.Last() - before), 1'000.0 * kMs, 30.0 * kMs);
    // Device times now count from the reopening.
    EXPECT_NEAR(static_cast<double>(clock.DeviceTimeAt(poll.Last())), static_cast<double>(device.Truth()), 30.0 * kMs);
}

TEST(AudioClock, CatchesUpAtOnceAfterALongStallOfItsReader)
{
    FakeDevice device(1.0, 20 * kMs);
    AudioClock clock;
    Poller poll(clock, device);
    poll.For(1'000 * kMs);
    const REFERENCE_TIME origin = poll.Last() - device.Truth();
    // Nobody reads the clock for a second while the device plays on.
    device.RunTo(poll.Now() + 1'000 * kMs);
    const REFERENCE_TIME after = clock.Read(poll.Now() + 1'000 * kMs, device.Reading());
    EXPECT_LE(std::abs(after - (origin + device.Truth())), 25 * kMs);
}

TEST(AudioClock, WaitsForADeviceThatIsSlowToStartButNotForOneThatNeverDoes)
{
    // The device takes 1.2 s to start playing: the clock waits for it (the sound it is given sounds
    // only then), and follows it from there.
    FakeDevice slow(1.0, 10 * kMs);
    slow.SetPlaying(false);
    AudioClock clock;
    Poller poll(clock, slow);
    poll.For(1 * kMs);
    const REFERENCE_TIME start = poll.Last();
    poll.For(1'200 * kMs);
    EXPECT_LE(poll.Last() - start, AudioClock::kMinCarry + AudioClock::kSlack) << "ran on before the device started";
    slow.SetPlaying(true);
    poll.For(1'000 * kMs);
    EXPECT_NEAR(static_cast<double>(poll.Last() - start), static_cast<double>(slow.Truth()), 30.0 * kMs)
        << "the clock's start is the device's start";
    EXPECT_LE(poll.MaxStepExcess(), 0);

    // One that never plays holds the clock for a while only.
    FakeDevice dead(1.0, 10 * kMs);
    dead.SetPlaying(false);
    AudioClock other;
    Poller wait(other, dead);
    wait.For(1 * kMs);
    const REFERENCE_TIME from = wait.Last();
    wait.For(4'000 * kMs);
    EXPECT_GT(wait.Last() - from, 1'500 * kMs) << "a device that never starts froze the clock";
}
