// The filter and pin lists, the media exceptions and the language names of DVD streams.
#include "FilterGraphTestSupport.h"
#include "media/LanguageNames.h"
#include "media/MediaGraphUtil.h"
#include "platform/com/ErrorText.h"

namespace kestrine::media::testing {
namespace {

using MediaGraphUtil = FilterGraphTest;

ComPtr<MemoryRenderer> Renderer() { return MakeComObject<MemoryRenderer>(MEDIATYPE_Video, std::vector<GUID>{}); }

std::string NameOf(IBaseFilter* filter)
{
    FILTER_INFO info;
    filter->QueryFilterInfo(&info);
    if (info.pGraph) info.pGraph->Release();
    return ToUtf8(info.achName);
}

TEST_F(MediaGraphUtil, FilterListHoldsTheGraphsFiltersInEnumerationOrderUntilFreed)
{
    ComPtr<IFilterGraph2> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
    const auto a = Renderer();
    const auto b = Renderer();
    const auto c = Renderer();
    graph->AddFilter(a.Get(), u"A");
    graph->AddFilter(b.Get(), u"B");
    graph->AddFilter(c.Get(), u"C");

    std::vector<std::string> enumerated;
    {
        ComPtr<IEnumFilters> e;
        graph->EnumFilters(e.GetAddressOf());
        for (ComPtr<IBaseFilter> f; e->Next(1, f.ReleaseAndGetAddressOf(), nullptr) == S_OK;) enumerated.push_back(NameOf(f.Get()));
    }

    auto list = std::make_unique<TFilterList>(graph.Get());
    ASSERT_EQ(list->Count(), 3u);
    std::vector<std::string> listed;
    for (std::size_t i = 0; i < list->Count(); ++i) listed.push_back(NameOf(list->Items(i).Get()));
    EXPECT_EQ(listed, enumerated);

    // Filters the graph lets go stay alive in the list.
    IBaseFilter* second = list->Items(1).Get();
    graph->RemoveFilter(a.Get());
    graph->RemoveFilter(b.Get());
    graph->RemoveFilter(c.Get());
    graph.Reset();
    const ULONG heldWithList = second->AddRef() - 1;
    second->Release();
    list.reset();
    const ULONG heldWithout = second->AddRef() - 1;
    second->Release();
    EXPECT_EQ(heldWithList, heldWithout + 1);

    TFilterList none(nullptr);
    EXPECT_TRUE(none.Empty());
}

TEST_F(MediaGraphUtil, RemovalFindsAnItemByIdentityWhateverInterfaceItIsGivenBy)
{
    ComPtr<IFilterGraph2> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
    const auto a = Renderer();
    const auto b = Renderer();
    graph->AddFilter(a.Get(), u"A");
    graph->AddFilter(b.Get(), u"B");
    TFilterList list(graph.Get());
    const auto flags = b.Query<IAMFilterMiscFlags>();  // another interface of b
    ASSERT_TRUE(flags);
    const int index = list.Remove(flags.Get());
    EXPECT_GE(index, 0);
    ASSERT_EQ(list.Count(), 1u);
    EXPECT_TRUE(IsSameObject(list.Items(0).Get(), a->IdentityUnknown()));
    EXPECT_EQ(list.Remove(b->IdentityUnknown()), -1);  // gone already
    EXPECT_EQ(list.Remove(nullptr), -1);
}

TEST_F(MediaGraphUtil, AnItemThatIsNotAFilterFailsAsAnInvalidCast)
{
    ComPtr<IFilterGraph2> graph;
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, &graph), S_OK);
    TFilterList list;
    list.Add(Renderer()->IdentityUnknown());
    list.Add(graph.Get());  // a graph is no filter
    EXPECT_TRUE(list.Items(0));
    EXPECT_THROW(list.Items(1), EInvalidCast);
    EXPECT_THROW(list.Items(2), std::out_of_range);
    TPinList pins;
    pins.Add(Renderer()->IdentityUnknown());
    EXPECT_THROW(pins.Items(0), EInvalidCast);
    list.Delete(1);
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_THROW(list.Delete(1), std::out_of_range);
}

TEST_F(MediaGraphUtil, PinListHoldsTheFiltersPinsInOrder)
{
    const auto source = MakeComObject<TestPatternSource>(std::vector<TestPatternSource::Stream>{
        TestPatternSource::VideoStream(5, kUnitsPerSecond / 10, 1), TestPatternSource::AudioStream(5, kUnitsPerSecond / 10)});
    const TPinList pins(source.Get());
    const auto expected = ListPins(source.Get());
    ASSERT_EQ(pins.Count(), 2u);
    ASSERT_EQ(expected.size(), 2u);
    for (std::size_t i = 0; i < pins.Count(); ++i) EXPECT_TRUE(IsSameObject(pins.Items(i).Get(), expected[i].Get()));
    PIN_DIRECTION direction = PINDIR_INPUT;
    pins.Items(1)->QueryDirection(&direction);
    EXPECT_EQ(direction, PINDIR_OUTPUT);

    TPinList refreshed(Renderer().Get());
    EXPECT_EQ(refreshed.Count(), 1u);  // a renderer's one input
    refreshed.Update(nullptr);
    EXPECT_TRUE(refreshed.Empty());
}

TEST(MediaErrors, FailuresRaiseWithTheTextAndCodeWhileSuccessCodesPassUnchanged)
{
    for (const HRESULT ok : {S_OK, S_FALSE, VFW_S_PARTIAL_RENDER, VFW_S_STATE_INTERMEDIATE}) EXPECT_EQ(CheckMediaResult(ok), ok);
    try {
        CheckMediaResult(VFW_E_NOT_FOUND);
        FAIL() << "a failure should raise";
    } catch (const EDirectShowException& e) {
        EXPECT_EQ(e.ResultCode, VFW_E_NOT_FOUND);
        EXPECT_EQ(std::string(e.what()), ErrorText(VFW_E_NOT_FOUND) + " ($80040216).");
    }
    // Upper-case hexadecimal, also for codes the platform has no name for.
    const std::string unknown = MediaResultMessage(MakeHResult(0x80ABCDEFu));
    EXPECT_TRUE(unknown.ends_with(" ($80ABCDEF).")) << unknown;
    EXPECT_GT(unknown.size(), std::string(" ($80ABCDEF).").size());  // some text comes first

    const EMediaGraphException plain("Allocator class not set.");
    EXPECT_STREQ(plain.what(), "Allocator class not set.");
    EXPECT_EQ(plain.ResultCode, 0);
    const EMediaGraphException withCode("Error Creating Allocator", E_OUTOFMEMORY);
    EXPECT_EQ(withCode.ResultCode, E_OUTOFMEMORY);
    const auto fromResult = EMediaGraphException::FromResult(E_FAIL);
    EXPECT_EQ(std::string(fromResult.what()), ErrorText(E_FAIL) + " ($80004005).");
    EXPECT_EQ(fromResult.ResultCode, E_FAIL);
}

TEST(LanguageNames, LocalesGiveTheirLanguagesEnglishName)
{
    EXPECT_EQ(EnglishLanguageName(0x0407), "German");
    EXPECT_EQ(EnglishLanguageName(0x0807), "German");  // Swiss German: the language is what counts
    EXPECT_EQ(EnglishLanguageName(0x0409), "English");
    EXPECT_EQ(EnglishLanguageName(0x0411), "Japanese");
    EXPECT_EQ(EnglishLanguageName(0x041A), "Croatian");
    EXPECT_EQ(EnglishLanguageName(0x081A), "Serbian");
    EXPECT_EQ(EnglishLanguageName(0x141A), "Bosnian");
    EXPECT_EQ(EnglishLanguageName(0x00010407), "German");  // a sort order does not change the language
    EXPECT_EQ(EnglishLanguageName(0), "");
    EXPECT_EQ(EnglishLanguageName(0x03FF), "");

    char buffer[260];
    EXPECT_EQ(GetLocaleInfoA(0x040C, LOCALE_SENGLANGUAGE, buffer, sizeof buffer), 7);
    EXPECT_STREQ(buffer, "French");
    EXPECT_EQ(GetLocaleInfoA(0x040C, LOCALE_SENGLANGUAGE, nullptr, 0), 7);  // the room needed
    char small[4] = "xyz";
    EXPECT_EQ(GetLocaleInfoA(0x040C, LOCALE_SENGLANGUAGE, small, sizeof small), 0);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(GetLocaleInfoA(0x040C, 0x0002, buffer, sizeof buffer), 0);
    EXPECT_EQ(GetLocaleInfoA(0x7F, LOCALE_SENGLANGUAGE, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
}

}  // namespace
}  // namespace kestrine::media::testing
