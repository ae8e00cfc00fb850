// How the component turns its graph's queued events into calls: the notification message, the drain,
// the table of published events with its argument conversions, and failures inside handlers.
#include "FilterGraphTestSupport.h"
#include "media/LanguageNames.h"
#include "platform/DialogAnswerer.h"
#include "platform/com/ErrorText.h"

#include <sstream>
#include <thread>

namespace kestrine::media::testing {
namespace {

std::string Text(LPCWSTR s) { return s ? ToUtf8(s) : "null"; }
std::string Ptr(const void* p) { return p ? "ptr" : "null"; }

template <class... Args>
std::string Call(const char* name, const Args&... args)
{
    std::ostringstream out;
    out << name << "(";
    bool first = true;
    ((out << (first ? "" : ",") << args, first = false), ...);
    out << ")";
    return out.str();
}

// Every published event writes its name and arguments into the journal.
void AssignEveryHandler(TFilterGraph& g, Journal& j)
{
    const auto plain = [&j](const char* name) { return [&j, name](QObject*) { j.push_back(Call(name)); }; };
    const auto result = [&j](const char* name) { return [&j, name](QObject*, HRESULT r) { j.push_back(Call(name, r)); }; };
    const auto number = [&j](const char* name) { return [&j, name](QObject*, LONG v) { j.push_back(Call(name, v)); }; };
    const auto unsignedNumber = [&j](const char* name) { return [&j, name](QObject*, DWORD v) { j.push_back(Call(name, v)); }; };
    const auto pair = [&j](const char* name) { return [&j, name](QObject*, auto a, auto b) { j.push_back(Call(name, a, b)); }; };
    const auto flag = [&j](const char* name) { return [&j, name](QObject*, bool b) { j.push_back(Call(name, b)); }; };
    const auto streamError = [&j](const char* name) { return [&j, name](QObject*, HRESULT op, DWORD v) { j.push_back(Call(name, op, v)); }; };
    const auto streamControl = [&j](const char* name) {
        return [&j, name](QObject*, IPin* pin, DWORD cookie) { j.push_back(Call(name, Ptr(pin), cookie)); };
    };
    const auto soundError = [&j](const char* name) {
        return [&j, name](QObject*, SNDDEV_ERR when, DWORD code) { j.push_back(Call(name, static_cast<LONG>(when), code)); };
    };
    const auto language = [&j](const char* name) {
        return [&j, name](QObject*, LONG stream, LONG lcid, const std::string& lang) { j.push_back(Call(name, stream, lcid, lang)); };
    };

    g.OnGraphComplete = [&j](QObject*, HRESULT r, IBaseFilter* f) { j.push_back(Call("OnGraphComplete", r, Ptr(f))); };
    g.OnGraphUserAbort = plain("OnGraphUserAbort");
    g.OnGraphErrorAbort = result("OnGraphErrorAbort");
    g.OnGraphStreamErrorStopped = streamError("OnGraphStreamErrorStopped");
    g.OnGraphStreamErrorStillPlaying = streamError("OnGraphStreamErrorStillPlaying");
    g.OnGraphErrorStillPlaying = result("OnGraphErrorStillPlaying");
    g.OnGraphPaletteChanged = plain("OnGraphPaletteChanged");
    g.OnGraphVideoSizeChanged = [&j](QObject*, WORD w, WORD h) { j.push_back(Call("OnGraphVideoSizeChanged", w, h)); };
    g.OnGraphQualityChange = plain("OnGraphQualityChange");
    g.OnGraphClockChanged = plain("OnGraphClockChanged");
    g.OnGraphPaused = result("OnGraphPaused");
    g.OnGraphOpeningFile = flag("OnGraphOpeningFile");
    g.OnGraphBufferingData = flag("OnGraphBufferingData");
    g.OnGraphFullscreenLost = [&j](QObject*, IBaseFilter* f) { j.push_back(Call("OnGraphFullscreenLost", Ptr(f))); };
    g.OnGraphOleEvent = [&j](QObject*, LPCWSTR a, LPCWSTR b) { j.push_back(Call("OnGraphOleEvent", Text(a), Text(b))); };
    g.OnGraphStreamControlStopped = streamControl("OnGraphStreamControlStopped");
    g.OnGraphStreamControlStarted = streamControl("OnGraphStreamControlStarted");
    g.OnGraphEndOfSegment = [&j](QObject*, REFERENCE_TIME t, DWORD n) { j.push_back(Call("OnGraphEndOfSegment", t, n)); };
    g.OnGraphDeviceLost = [&j](QObject*, IUnknown* d, bool removed) { j.push_back(Call("OnGraphDeviceLost", Ptr(d), removed)); };
    g.OnGraphStepComplete = plain("OnGraphStepComplete");
    g.OnGraphTimeCodeAvailable = [&j](QObject*, IBaseFilter* f, DWORD id) { j.push_back(Call("OnGraphTimeCodeAvailable", Ptr(f), id)); };
    g.OnGraphEXTDeviceModeChange = pair("OnGraphEXTDeviceModeChange");
    g.OnGraphChanged = plain("OnGraphChanged");
    g.OnGraphClockUnset = plain("OnGraphClockUnset");
    g.OnGraphVMRRenderDevice = number("OnGraphVMRRenderDevice");
    g.OnDVDDomainFirstPlay = plain("OnDVDDomainFirstPlay");
    g.OnDVDDomainVideoManagerMenu = plain("OnDVDDomainVideoManagerMenu");
    g.OnDVDDomainVideoTitleSetMenu = plain("OnDVDDomainVideoTitleSetMenu");
    g.OnDVDDomainTitle = plain("OnDVDDomainTitle");
    g.OnDVDDomainStop = plain("OnDVDDomainStop");
    g.OnDVDTitleChange = number("OnDVDTitleChange");
    g.OnDVDChapterStart = number("OnDVDChapterStart");
    g.OnDVDAudioStreamChange = language("OnDVDAudioStreamChange");
    g.OnDVDSubpictureStreamChange = language("OnDVDSubpictureStreamChange");
    g.OnDVDAngleChange = pair("OnDVDAngleChange");
    g.OnDVDButtonChange = pair("OnDVDButtonChange");
    g.OnDVDValidUOPSChange = number("OnDVDValidUOPSChange");
    g.OnDVDStillOn = [&j](QObject*, bool noButton, LONG s) { j.push_back(Call("OnDVDStillOn", noButton, s)); };
    g.OnDVDStillOff = plain("OnDVDStillOff");
    g.OnDVDCurrentTime = [&j](QObject*, LONG h, LONG m, LONG s, LONG f, LONG rate) { j.push_back(Call("OnDVDCurrentTime", h, m, s, f, rate)); };
    g.OnDVDErrorUnexpected = plain("OnDVDErrorUnexpected");
    g.OnDVDErrorCopyProtectFail = plain("OnDVDErrorCopyProtectFail");
    g.OnDVDErrorInvalidDVD1_0Disc = plain("OnDVDErrorInvalidDVD1_0Disc");
    g.OnDVDErrorInvalidDiscRegion = plain("OnDVDErrorInvalidDiscRegion");
    g.OnDVDErrorLowParentalLevel = plain("OnDVDErrorLowParentalLevel");
    g.OnDVDErrorMacrovisionFail = plain("OnDVDErrorMacrovisionFail");
    g.OnDVDErrorIncompatibleSystemAndDecoderRegions = plain("OnDVDErrorIncompatibleSystemAndDecoderRegions");
    g.OnDVDErrorIncompatibleDiscAndDecoderRegions = plain("OnDVDErrorIncompatibleDiscAndDecoderRegions");
    g.OnDVDWarningInvalidDVD1_0Disc = plain("OnDVDWarningInvalidDVD1_0Disc");
    g.OnDVDWarningFormatNotSupported = plain("OnDVDWarningFormatNotSupported");
    g.OnDVDWarningIllegalNavCommand = plain("OnDVDWarningIllegalNavCommand");
    g.OnDVDWarningOpen = plain("OnDVDWarningOpen");
    g.OnDVDWarningSeek = plain("OnDVDWarningSeek");
    g.OnDVDWarningRead = plain("OnDVDWarningRead");
    g.OnDVDChapterAutoStop = plain("OnDVDChapterAutoStop");
    g.OnDVDNoFP_PGC = plain("OnDVDNoFP_PGC");
    g.OnDVDPlaybackRateChange = [&j](QObject*, float rate) { j.push_back(Call("OnDVDPlaybackRateChange", rate)); };
    g.OnDVDParentalLevelChange = number("OnDVDParentalLevelChange");
    g.OnDVDPlaybackStopped = plain("OnDVDPlaybackStopped");
    g.OnDVDAnglesAvailable = flag("OnDVDAnglesAvailable");
    g.OnDVDPlayPeriodAutoStop = plain("OnDVDPlayPeriodAutoStop");
    g.OnDVDButtonAutoActivated = unsignedNumber("OnDVDButtonAutoActivated");
    g.OnDVDCMDStart = unsignedNumber("OnDVDCMDStart");
    g.OnDVDCMDEnd = unsignedNumber("OnDVDCMDEnd");
    g.OnDVDDiscEjected = plain("OnDVDDiscEjected");
    g.OnDVDDiscInserted = plain("OnDVDDiscInserted");
    g.OnDVDCurrentHMSFTime = [&j](QObject*, DVD_HMSF_TIMECODE hmsf, TDVDTimeCode& t) {
        j.push_back(Call("OnDVDCurrentHMSFTime", int(hmsf.bHours), int(hmsf.bMinutes), int(hmsf.bSeconds), int(hmsf.bFrames), int(t.Hours1),
                         int(t.Hours10), int(t.Minutes1), int(t.Minutes10), int(t.Seconds1), int(t.Seconds10), int(t.Frames1), int(t.Frames10),
                         int(t.FrameRateCode)));
    };
    g.OnDVDKaraokeMode = flag("OnDVDKaraokeMode");
    g.OnGraphSNDDevInError = soundError("OnGraphSNDDevInError");
    g.OnGraphSNDDevOutError = soundError("OnGraphSNDDevOutError");
}

// A component in a mode whose builder scripts the events; every handler and one listener journalled.
class FilterGraphEvents : public FilterGraphTest {
protected:
    void SetUp() override
    {
        FilterGraphTest::SetUp();
        builders = std::make_unique<ScriptedBuilders>();
        builders->prepare = [this](ScriptedBuilder& b) {
            b.journal = &journal;
            b.offersDvdInfo = true;
            b.audioLanguages = {{1, 0x0407}, {2, 0x0809}};
            b.subpictureLanguages = {{3, 0x040C}};
        };
        graph = std::make_unique<TFilterGraph>();
        listener = std::make_unique<RecordingListener>("L", journal);
        graph->AddGraphListener(listener.get());
        graph->OnDSEvent = [this](QObject* sender, LONG code, LONG_PTR, LONG_PTR) {
            EXPECT_EQ(sender, graph.get());
            journal.push_back("DS(" + std::to_string(code) + ")");
        };
        graph->SetMode(TGraphMode::gmDVD);
        graph->SetActive(true);
        ASSERT_TRUE(graph->Active());
        events = &builders->Last();
        journal.clear();
    }
    void TearDown() override
    {
        graph.reset();
        listener.reset();
        builders.reset();
        FilterGraphTest::TearDown();
    }

    // What one event, handled alone, made happen after the listener and OnDSEvent.
    Journal Dispatch(LONG code, LONG_PTR param1 = 0, LONG_PTR param2 = 0)
    {
        journal.clear();
        events->Queue(code, param1, param2);
        PumpPosted();
        Journal rest;
        const std::string heard = "L.Event(" + std::to_string(code) + "," + std::to_string(param1) + "," + std::to_string(param2) + ")";
        EXPECT_GE(journal.size(), 3u) << code;
        if (journal.size() < 3) return journal;
        EXPECT_EQ(journal[0], heard);
        EXPECT_EQ(journal[1], "DS(" + std::to_string(code) + ")");
        EXPECT_EQ(journal.back(), "Free(" + std::to_string(code) + ")");
        return Journal(journal.begin() + 2, journal.end() - 1);
    }

    Journal journal;
    std::unique_ptr<ScriptedBuilders> builders;
    std::unique_ptr<TFilterGraph> graph;
    std::unique_ptr<RecordingListener> listener;
    ScriptedBuilder* events = nullptr;
};

TEST_F(FilterGraphEvents, ActivationNamesTheEventWindowAndDeactivationSilencesTheQueue)
{
    EXPECT_EQ(events->window, static_cast<OAHWND>(graph->EventWindow()));
    EXPECT_EQ(events->message, 32769);
    // The instance data is the media events interface the component holds.
    EXPECT_TRUE(IsSameObject(reinterpret_cast<IUnknown*>(events->instance), events->IdentityUnknown()));
    EXPECT_EQ(events->flagHistory, (std::vector<LONG>{0}));
    graph->SetActive(false);
    EXPECT_EQ(events->flagHistory, (std::vector<LONG>{0, 1}));

    // A drain of an inactive graph, or a late notification, reads nothing.
    journal.clear();
    events->events.push_back({1, 0, 0});
    graph->DrainGraphEvents();
    SendMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0);
    EXPECT_EQ(events->events.size(), 1u);
    EXPECT_TRUE(journal.empty());
}

TEST_F(FilterGraphEvents, OneMessageHandlesEveryWaitingEventInOrderEachFreedAfterItsHandlers)
{
    // Three events wait, but only one notification arrives.
    events->events.push_back({9, 0, 0});
    events->events.push_back({4, 11, 12});
    events->events.push_back({1, 0, 0});
    graph->OnGraphComplete = [&](QObject*, HRESULT, IBaseFilter*) { journal.push_back("OnGraphComplete"); };
    const auto gui = std::this_thread::get_id();
    graph->OnGraphPaletteChanged = [&](QObject*) {
        EXPECT_EQ(std::this_thread::get_id(), gui);
        journal.push_back("OnGraphPaletteChanged");
    };
    ASSERT_TRUE(PostMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0));
    PumpPosted();
    const Journal expected{
        "L.Event(9,0,0)",  "DS(9)", "OnGraphPaletteChanged", "Free(9)", "L.Event(4,11,12)", "DS(4)", "Free(4)",
        "L.Event(1,0,0)",  "DS(1)", "OnGraphComplete",       "Free(1)",
    };
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(events->freed, (std::vector<ScriptedBuilder::Freed>{{9, 0, 0}, {4, 11, 12}, {1, 0, 0}}));

    // The notifications of events already drained find nothing and do nothing.
    journal.clear();
    events->Queue(2);
    events->Queue(80);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(2,0,0)", "DS(2)", "Free(2)", "L.Event(80,0,0)", "DS(80)", "Free(80)"}));
    // Other messages to the window change nothing.
    EXPECT_EQ(SendMessage(graph->EventWindow(), 0x0010, 0, 0), 0);
}

TEST_F(FilterGraphEvents, EachCodeFiresItsPublishedEventWithItsArguments)
{
    AssignEveryHandler(*graph, journal);
    REFERENCE_TIME segmentTime = 123456789;
    std::u16string first = u"first", second = u"second";
    const auto pointer = [](const void* p) { return reinterpret_cast<LONG_PTR>(p); };
    const ComPtr<MemoryRenderer> filter = MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{});
    const LONG_PTR filterParam = pointer(static_cast<IBaseFilter*>(filter.Get()));
    const LONG_PTR failure = static_cast<LONG>(E_FAIL);

    const struct Case {
        LONG code;
        LONG_PTR p1;
        LONG_PTR p2;
        std::string fired;
    } cases[] = {
        {1, 0, filterParam, "OnGraphComplete(0,ptr)"},
        {1, failure, 0, "OnGraphComplete(-2147467259,null)"},
        {2, 0, 0, "OnGraphUserAbort()"},
        {3, failure, 0, "OnGraphErrorAbort(-2147467259)"},
        {6, failure, 7, "OnGraphStreamErrorStopped(-2147467259,7)"},
        {7, failure, 8, "OnGraphStreamErrorStillPlaying(-2147467259,8)"},
        {8, failure, 0, "OnGraphErrorStillPlaying(-2147467259)"},
        {9, 0, 0, "OnGraphPaletteChanged()"},
        {10, 320 | (240 << 16), 0, "OnGraphVideoSizeChanged(320,240)"},
        {11, 0, 0, "OnGraphQualityChange()"},
        {13, 0, 0, "OnGraphClockChanged()"},
        {14, 0, 0, "OnGraphPaused(0)"},
        {16, 1, 0, "OnGraphOpeningFile(1)"},
        {16, 2, 0, "OnGraphOpeningFile(0)"},
        {17, 1, 0, "OnGraphBufferingData(1)"},
        {17, 0, 0, "OnGraphBufferingData(0)"},
        {18, 0, filterParam, "OnGraphFullscreenLost(ptr)"},
        {24, pointer(first.c_str()), pointer(second.c_str()), "OnGraphOleEvent(first,second)"},
        {26, filterParam, 5, "OnGraphStreamControlStopped(ptr,5)"},
        {27, 0, 6, "OnGraphStreamControlStarted(null,6)"},
        {28, pointer(&segmentTime), 3, "OnGraphEndOfSegment(123456789,3)"},
        {28, 0, 4, "OnGraphEndOfSegment(0,4)"},
        {31, filterParam, 1, "OnGraphDeviceLost(ptr,1)"},
        {31, filterParam, 0, "OnGraphDeviceLost(ptr,0)"},
        {36, 0, 0, "OnGraphStepComplete()"},
        {48, filterParam, 9, "OnGraphTimeCodeAvailable(ptr,9)"},
        {49, 2, 9, "OnGraphEXTDeviceModeChange(2,9)"},
        {80, 0, 0, "OnGraphChanged()"},
        {81, 0, 0, "OnGraphClockUnset()"},
        {83, 4, 0, "OnGraphVMRRenderDevice(4)"},
        {257, 1, 0, "OnDVDDomainFirstPlay()"},
        {257, 2, 0, "OnDVDDomainVideoManagerMenu()"},
        {257, 3, 0, "OnDVDDomainVideoTitleSetMenu()"},
        {257, 4, 0, "OnDVDDomainTitle()"},
        {257, 5, 0, "OnDVDDomainStop()"},
        {258, 12, 0, "OnDVDTitleChange(12)"},
        {259, 13, 0, "OnDVDChapterStart(13)"},
        {260, 1, 0, "OnDVDAudioStreamChange(1,1031,German)"},
        {260, 2, 0, "OnDVDAudioStreamChange(2,2057,English)"},
        {261, 3, 0, "OnDVDSubpictureStreamChange(3,1036,French)"},
        {261, 4, 0, "OnDVDSubpictureStreamChange(4,0,)"},  // no language for that stream
        {262, 4, 2, "OnDVDAngleChange(4,2)"},
        {263, 6, 3, "OnDVDButtonChange(6,3)"},
        {264, 0x1F, 0, "OnDVDValidUOPSChange(31)"},
        {265, 1, 10, "OnDVDStillOn(1,10)"},
        {265, 0, 255, "OnDVDStillOn(0,255)"},
        {266, 0, 0, "OnDVDStillOff()"},
        {268, 1, 0, "OnDVDErrorUnexpected()"},
        {268, 2, 0, "OnDVDErrorCopyProtectFail()"},
        {268, 3, 0, "OnDVDErrorInvalidDVD1_0Disc()"},
        {268, 4, 0, "OnDVDErrorInvalidDiscRegion()"},
        {268, 5, 0, "OnDVDErrorLowParentalLevel()"},
        {268, 6, 0, "OnDVDErrorMacrovisionFail()"},
        {268, 7, 0, "OnDVDErrorIncompatibleSystemAndDecoderRegions()"},
        {268, 8, 0, "OnDVDErrorIncompatibleDiscAndDecoderRegions()"},
        {269, 1, 0, "OnDVDWarningInvalidDVD1_0Disc()"},
        {269, 2, 0, "OnDVDWarningFormatNotSupported()"},
        {269, 3, 0, "OnDVDWarningIllegalNavCommand()"},
        {269, 4, 0, "OnDVDWarningOpen()"},
        {269, 5, 0, "OnDVDWarningSeek()"},
        {269, 6, 0, "OnDVDWarningRead()"},
        {270, 0, 0, "OnDVDChapterAutoStop()"},
        {271, 0, 0, "OnDVDNoFP_PGC()"},
        {272, 10000, 0, "OnDVDPlaybackRateChange(1)"},
        {272, -20000, 0, "OnDVDPlaybackRateChange(-2)"},
        {272, 5000, 0, "OnDVDPlaybackRateChange(0.5)"},
        {273, 8, 0, "OnDVDParentalLevelChange(8)"},
        {274, 0, 0, "OnDVDPlaybackStopped()"},
        {275, 1, 0, "OnDVDAnglesAvailable(1)"},
        {275, 0, 0, "OnDVDAnglesAvailable(0)"},
        {276, 0, 0, "OnDVDPlayPeriodAutoStop()"},
        {277, 3, 0, "OnDVDButtonAutoActivated(3)"},
        {278, 41, 0, "OnDVDCMDStart(41)"},
        {279, 42, 0, "OnDVDCMDEnd(42)"},
        {280, 0, 0, "OnDVDDiscEjected()"},
        {281, 0, 0, "OnDVDDiscInserted()"},
        {283, 1, 0, "OnDVDKaraokeMode(1)"},
        {283, 2, 0, "OnDVDKaraokeMode(1)"},
        {283, 0, 0, "OnDVDKaraokeMode(0)"},
        {512, SNDDEV_ERROR_Write, 77, "OnGraphSNDDevInError(9,77)"},
        {513, SNDDEV_ERROR_Open, 78, "OnGraphSNDDevOutError(1,78)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Dispatch(c.code, c.p1, c.p2), (Journal{c.fired})) << c.code << " " << c.p1;
    }
}

TEST_F(FilterGraphEvents, DVDTimeCodesAreSplitIntoTheirDigits)
{
    AssignEveryHandler(*graph, journal);
    // 01:23:45 and frame 12 at 25 frames a second, digit by digit.
    const DWORD time = PackDVDTimeCode(TDVDTimeCode{1, 0, 3, 2, 5, 4, 2, 1, 1});
    EXPECT_EQ(time, 0x10325421u | (1u << 2));
    EXPECT_EQ(Dispatch(267, static_cast<LONG_PTR>(time)), (Journal{"OnDVDCurrentTime(1,23,45,12,25)"}));
    // 30 frames a second, and the frame-rate codes with no rate.
    EXPECT_EQ(Dispatch(267, static_cast<LONG_PTR>(PackDVDTimeCode(TDVDTimeCode{9, 9, 9, 5, 9, 5, 9, 2, 3}))),
              (Journal{"OnDVDCurrentTime(99,59,59,29,30)"}));
    EXPECT_EQ(Dispatch(267, static_cast<LONG_PTR>(PackDVDTimeCode(TDVDTimeCode{0, 0, 0, 0, 0, 0, 0, 0, 2}))),
              (Journal{"OnDVDCurrentTime(0,0,0,0,0)"}));

    // 282: the first parameter's four bytes as they are, the second split like 267's.
    const DWORD hmsf = PackHMSFTimeCode(DVD_HMSF_TIMECODE{2, 34, 56, 7});
    EXPECT_EQ(hmsf, 0x07382202u);
    EXPECT_EQ(Dispatch(282, static_cast<LONG_PTR>(hmsf), static_cast<LONG_PTR>(time)),
              (Journal{"OnDVDCurrentHMSFTime(2,34,56,7,1,0,3,2,5,4,2,1,1)"}));

    // Every field survives a round trip, the top nibble included.
    for (const DWORD value : {0u, 0xFFFFFFFFu, 0x9876543Bu, 0x00000003u}) EXPECT_EQ(PackDVDTimeCode(SplitDVDTimeCode(value)), value);
}

TEST_F(FilterGraphEvents, EventsWithoutAPublishedEventStillReachListenersAndOnDSEvent)
{
    AssignEveryHandler(*graph, journal);
    for (const LONG code : {4, 5, 12, 15, 0x53 + 1, 284, 511, 514, 0x8000}) EXPECT_EQ(Dispatch(code, 1, 2), Journal{}) << code;
    // Codes that choose their event by the first parameter fire nothing for values outside their table.
    for (const LONG_PTR p1 : {0, 6, -1}) EXPECT_EQ(Dispatch(257, p1), Journal{}) << p1;
    for (const LONG_PTR p1 : {0, 9, 100}) EXPECT_EQ(Dispatch(268, p1), Journal{}) << p1;
    for (const LONG_PTR p1 : {0, 7, 100}) EXPECT_EQ(Dispatch(269, p1), Journal{}) << p1;
}

TEST_F(FilterGraphEvents, UnassignedHandlersAreSkippedWhileListenersAndOnDSEventStillRun)
{
    // No handler assigned but the catch-all: the completion still reaches both.
    EXPECT_EQ(Dispatch(1, 0, 0), Journal{});
    graph->OnDSEvent = nullptr;
    journal.clear();
    events->Queue(1);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(1,0,0)", "Free(1)"}));
}

TEST_F(FilterGraphEvents, LanguageEventsNeedDVDInformation)
{
    AssignEveryHandler(*graph, journal);
    graph->SetActive(false);
    builders->prepare = [this](ScriptedBuilder& b) {
        b.journal = &journal;
        b.offersDvdInfo = false;
    };
    graph->SetActive(true);
    events = &builders->Last();
    ASSERT_FALSE(graph->Query<IDvdInfo2>());
    EXPECT_EQ(Dispatch(260, 1), Journal{});
    EXPECT_EQ(Dispatch(261, 3), Journal{});
}

TEST_F(FilterGraphEvents, AFailingAudioLanguageQueryIsReportedAsAnErrorOfTheDrain)
{
    platform::InstalledDialogAnswerer dialogs;
    AssignEveryHandler(*graph, journal);
    journal.clear();
    events->events.push_back({260, 9, 0});  // stream 9 has no language: the query fails
    events->events.push_back({258, 1, 0});
    PostMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0);
    PumpPosted();
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    const auto* box = dialogs->Last(DialogAnswerer::Kind::Message);
    EXPECT_EQ(box->message.text.toStdString(), ErrorText(VFW_E_NOT_FOUND) + " ($80040216).");
    EXPECT_EQ(box->message.icon, MessageIcon::Error);
    // The failing event is not freed; the next one waits for another notification.
    EXPECT_EQ(journal, (Journal{"L.Event(260,9,0)", "DS(260)"}));
    EXPECT_EQ(events->events.size(), 1u);
    journal.clear();
    PostMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(258,1,0)", "DS(258)", "OnDVDTitleChange(1)", "Free(258)"}));
}

TEST_F(FilterGraphEvents, AnExceptionInAHandlerEndsTheDrainIsShownAndTheWindowGoesOn)
{
    platform::InstalledDialogAnswerer dialogs;
    int completions = 0;
    graph->OnGraphComplete = [&](QObject*, HRESULT, IBaseFilter*) {
        ++completions;
        journal.push_back("OnGraphComplete");
        if (completions == 1) throw EDirectShowException(E_FAIL);
    };
    events->events.push_back({1, 0, 0});
    events->events.push_back({2, 0, 0});
    events->events.push_back({1, 0, 0});
    PostMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(1,0,0)", "DS(1)", "OnGraphComplete"}));
    EXPECT_TRUE(events->freed.empty());
    ASSERT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.toStdString(), ErrorText(E_FAIL) + " ($80004005).");

    // The next notification takes up the events still waiting.
    journal.clear();
    PostMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(2,0,0)", "DS(2)", "Free(2)", "L.Event(1,0,0)", "DS(1)", "OnGraphComplete", "Free(1)"}));
    EXPECT_EQ(dialogs->Count(DialogAnswerer::Kind::Message), 1u);

    // A listener's exception is handled the same way, before OnDSEvent runs.
    journal.clear();
    listener->onEvent = [](LONG code) {
        if (code == 14) throw std::runtime_error("listener failed");
    };
    events->Queue(14);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(14,0,0)"}));
    EXPECT_EQ(dialogs->Last(DialogAnswerer::Kind::Message)->message.text.toStdString(), "listener failed");
}

TEST_F(FilterGraphEvents, AHandlerThatDeactivatesTheGraphEndsTheDrainCleanly)
{
    graph->OnGraphComplete = [&](QObject*, HRESULT, IBaseFilter*) {
        journal.push_back("OnGraphComplete");
        graph->EmptyGraph();
        graph->SetActive(false);
    };
    events->events.push_back({1, 0, 0});
    events->events.push_back({2, 0, 0});
    PostMessage(graph->EventWindow(), WM_GRAPHNOTIFY, 0, 0);
    PumpPosted();
    EXPECT_FALSE(graph->Active());
    EXPECT_EQ(journal, (Journal{"L.Event(1,0,0)", "DS(1)", "OnGraphComplete", "L.Control(2,0)", "L.Control(7,0)", "Free(1)"}));
}

TEST_F(FilterGraphEvents, ListenersUnlinkedDuringANotificationAreNotCalledAfterwards)
{
    RecordingListener second("M", journal);
    RecordingListener third("N", journal);
    graph->AddGraphListener(&second);
    graph->AddGraphListener(&third);
    // The first listener unlinks the second and itself when it hears the event.
    listener->onEvent = [&](LONG) {
        graph->RemoveGraphListener(&second);
        graph->RemoveGraphListener(listener.get());
    };
    graph->OnDSEvent = nullptr;
    events->Queue(4);
    PumpPosted();
    EXPECT_EQ(journal, (Journal{"L.Event(4,0,0)", "N.Event(4,0,0)", "Free(4)"}));
    EXPECT_EQ(graph->GraphListenerCount(), 1u);
    graph->RemoveGraphListener(&third);
}

}  // namespace
}  // namespace kestrine::media::testing
