#include "GraphTestSupport.h"

#include "platform/com/WideString.h"
#include "platform/graph/MediaSample.h"

#include <thread>

using namespace kestrine::platform;
using kestrine::platform::testing::kFrame;

TEST(ReferenceClocks, ManualClockOnlyMovesForwardAndWakesWaiters)
{
    auto clock = MakeComObject<ManualReferenceClock>();
    clock->SetTime(500);
    clock->SetTime(100);  // never backwards
    EXPECT_EQ(clock->Now(), 500);
    clock->Advance(-50);
    EXPECT_EQ(clock->Now(), 500);
    EXPECT_EQ(clock->WaitUntil(400, 0), S_OK);
    EXPECT_EQ(clock->WaitUntil(1000, 10), S_FALSE);

    std::thread stepper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        clock->Advance(600);
    });
    EXPECT_EQ(clock->WaitUntil(1000, 10000), S_OK);  // woken by the step, not by the time limit
    stepper.join();
    EXPECT_TRUE(WaitForClock(clock.Get(), 1000, 0));

    auto system = MakeComObject<SystemReferenceClock>();
    REFERENCE_TIME a = 0;
    REFERENCE_TIME b = 0;
    system->GetTime(&a);
    EXPECT_EQ(system->WaitUntil(a + 20'000, 1000), S_OK);  // 2 ms
    system->GetTime(&b);
    EXPECT_GE(b, a + 20'000);
    EXPECT_EQ(system->GetTime(nullptr), E_POINTER);
    EXPECT_EQ(ClockNow(nullptr), 0);
}

TEST(MediaSamples, KeepTimesFlagsAndLengthWithinTheirBuffer)
{
    auto sample = MakeComObject<MemorySample>(std::vector<BYTE>{1, 2, 3, 4, 5});
    REFERENCE_TIME s = 0;
    REFERENCE_TIME e = 0;
    EXPECT_EQ(sample->GetTime(&s, &e), VFW_E_NOT_FOUND);  // no time yet
    const REFERENCE_TIME start = 40;
    sample->SetTime(&start, nullptr);
    EXPECT_EQ(sample->GetTime(&s, &e), S_FALSE);  // start only
    EXPECT_EQ(s, 40);
    EXPECT_EQ(sample->SetActualDataLength(6), E_INVALIDARG);
    EXPECT_EQ(sample->SetActualDataLength(-1), E_INVALIDARG);
    ASSERT_EQ(sample->SetActualDataLength(3), S_OK);
    EXPECT_EQ(SampleBytes(sample.Get()), (std::vector<BYTE>{1, 2, 3}));
    EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
    sample->SetSyncPoint(1);
    sample->SetPreroll(1);
    sample->SetDiscontinuity(1);
    EXPECT_EQ(sample->IsSyncPoint(), S_OK);
    EXPECT_EQ(sample->IsPreroll(), S_OK);
    EXPECT_EQ(sample->IsDiscontinuity(), S_OK);

    auto made = MakeSample({9}, 10, 20, true);
    EXPECT_EQ(made->GetTime(&s, &e), S_OK);
    EXPECT_EQ(e, 20);
    EXPECT_EQ(made->IsSyncPoint(), S_OK);
}

TEST(Pins, DescribeThemselvesAndTheirTypes)
{
    auto source = MakeComObject<TestPatternSource>(
        std::vector<TestPatternSource::Stream>{TestPatternSource::VideoStream(4, kFrame, 1), TestPatternSource::AudioStream(4, kFrame)});
    auto renderer = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});

    ComPtr<IPin> found;
    ASSERT_EQ(source->FindPin(u"Audio 1", found.GetAddressOf()), S_OK);
    EXPECT_EQ(found.Get(), static_cast<IPin*>(&source->PinAt(1)));
    EXPECT_EQ(source->FindPin(u"Audio 9", found.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);

    LPWSTR id = nullptr;
    ASSERT_EQ(source->PinAt(0).QueryId(&id), S_OK);
    EXPECT_EQ(WideString(id), u"Video 0");
    CoTaskMemFree(id);

    // What a pin offers, through the enumerator callers use.
    const auto types = ListMediaTypes(&source->PinAt(0));
    ASSERT_EQ(types.size(), 1u);
    EXPECT_EQ(types[0].subtype, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(renderer->PinAt(0).QueryAccept(&types[0]), S_OK);
    const auto audio = ListMediaTypes(&source->PinAt(1));
    EXPECT_EQ(renderer->PinAt(0).QueryAccept(&audio.at(0)), S_FALSE);

    // A pin counts references on its filter: holding a pin keeps the filter alive.
    ComPtr<IPin> pin(&renderer->PinAt(0));
    IBaseFilter* raw = renderer.Get();
    renderer.Reset();
    PIN_INFO info;
    ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(info.pFilter, raw);
    info.pFilter->Release();
    // And a pin has an identity of its own, apart from its filter's.
    EXPECT_FALSE(IsSameObject(pin.Get(), raw));

    ComPtr<IEnumPins> pins;
    ASSERT_EQ(source->EnumPins(pins.GetAddressOf()), S_OK);
    IPin* two[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(3, two, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    for (ULONG i = 0; i < fetched; ++i) two[i]->Release();
    EXPECT_EQ(pins->Next(2, two, nullptr), E_POINTER);  // several at once need a count back
}

TEST(Pins, ARendererStaysPausedUntilItHasAPicture)
{
    auto renderer = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{MEDIASUBTYPE_RGB32});
    auto source = MakeComObject<TestPatternSource>(std::vector<TestPatternSource::Stream>{TestPatternSource::VideoStream(4, kFrame, 1)});
    ASSERT_EQ(source->PinAt(0).Connect(&renderer->PinAt(0), nullptr), S_OK);
    auto clock = MakeComObject<ManualReferenceClock>();
    renderer->SetSyncSource(clock.Get());

    FILTER_STATE state = State_Running;
    ASSERT_EQ(renderer->Pause(), S_OK);
    EXPECT_EQ(renderer->GetState(10, &state), VFW_S_STATE_INTERMEDIATE);  // nothing arrived yet
    EXPECT_EQ(state, State_Paused);
    ASSERT_EQ(source->Pause(), S_OK);
    EXPECT_EQ(renderer->GetState(5000, &state), S_OK);
    EXPECT_EQ(TestPatternSource::FrameNumber(renderer->LastPresented()->data), 0);
    EXPECT_EQ(renderer->PresentedCount(), 1u);  // the next sample waits

    // Samples arriving while stopped are refused.
    renderer->Stop();
    source->Stop();
    auto sample = MakeSample({1, 2, 3, 4}, 0, 10, true);
    EXPECT_EQ(renderer->PinAt(0).Receive(sample.Get()), VFW_E_WRONG_STATE);
    EXPECT_EQ(source->PinAt(0).Receive(sample.Get()), E_UNEXPECTED);  // output pins take no samples

    // Connected pins hold each other's filters; outside a graph the caller breaks the connection.
    EXPECT_EQ(source->PinAt(0).Disconnect(), S_OK);
    EXPECT_EQ(renderer->PinAt(0).Disconnect(), S_OK);
}
