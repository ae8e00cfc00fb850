#include "platform/com/ErrorText.h"
#include "platform/com/Guid.h"
#include "platform/com/HResult.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

using namespace kestrine::platform;

TEST(Guid, ParsesAndPrintsInWindowsLayout)
{
    const auto g = ParseGuid("{56A868B2-0AD4-11CE-B03A-0020AF0BA770}");
    ASSERT_TRUE(g);
    EXPECT_EQ(g->Data1, 0x56A868B2u);
    EXPECT_EQ(g->Data2, 0x0AD4u);
    EXPECT_EQ(g->Data3, 0x11CEu);
    const BYTE data4[8] = {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70};
    EXPECT_EQ(std::memcmp(g->Data4, data4, 8), 0);
    EXPECT_EQ(GuidToString(*g), "{56A868B2-0AD4-11CE-B03A-0020AF0BA770}");

    // Lower case and bare forms read the same; output is always braced upper case.
    EXPECT_EQ(ParseGuid("56a868b2-0ad4-11ce-b03a-0020af0ba770"), g);
    EXPECT_EQ(ParseGuid("{56a868b2-0ad4-11ce-b03a-0020af0ba770}"), g);
    EXPECT_EQ(GuidToString(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");
    constexpr GUID compiled = MakeGuid("{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
    EXPECT_EQ(GuidToString(compiled), "{E436EBB3-524F-11CE-9F53-0020AF0BA770}");
}

TEST(Guid, RejectsMalformedText)
{
    for (const char* bad : {"", "{}", "{56A868B2-0AD4-11CE-B03A-0020AF0BA77}", "{56A868B2-0AD4-11CE-B03A-0020AF0BA7700}",
                            "{56A868B2-0AD4-11CE-B03A-0020AF0BA77G}", "{56A868B20AD4-11CE-B03A-0020AF0BA770-}",
                            "[56A868B2-0AD4-11CE-B03A-0020AF0BA770]", "{56A868B2-0AD4-11CE-B03A-0020AF0BA770",
                            " 56A868B2-0AD4-11CE-B03A-0020AF0BA770"}) {
        EXPECT_FALSE(ParseGuid(bad)) << bad;
    }
}

TEST(Guid, OrdersAndHashesByValue)
{
    const GUID a = MakeGuid("{00000001-0000-0000-0000-000000000000}");
    const GUID b = MakeGuid("{00000001-0000-0000-0000-000000000001}");
    EXPECT_NE(a, b);
    EXPECT_LT(a, b);
    EXPECT_NE(std::hash<GUID>{}(a), std::hash<GUID>{}(b));
    EXPECT_EQ(std::hash<GUID>{}(a), std::hash<GUID>{}(*ParseGuid(GuidToString(a))));
}

TEST(HResult, SignBitDecidesSuccess)
{
    EXPECT_TRUE(SUCCEEDED(S_OK));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_TRUE(SUCCEEDED(VFW_S_PARTIAL_RENDER));
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(FAILED(VFW_E_NOT_FOUND));
    EXPECT_EQ(HRESULT_FROM_WIN32(2), HR_FILE_NOT_FOUND);
    EXPECT_EQ(HRESULT_FROM_WIN32(0), S_OK);
    EXPECT_EQ(static_cast<std::uint32_t>(VFW_E_CANNOT_RENDER), 0x80040218u);
}

TEST(ErrorText, EveryCodeWeReturnHasItsOwnText)
{
    const HRESULT codes[] = {E_NOTIMPL, E_NOINTERFACE, E_POINTER, E_ABORT, E_FAIL, E_UNEXPECTED, E_ACCESSDENIED,
                             E_OUTOFMEMORY, E_INVALIDARG, HR_FILE_NOT_FOUND, HR_PATH_NOT_FOUND, HR_READ_FAULT,
                             CLASS_E_NOAGGREGATION, REGDB_E_CLASSNOTREG, CO_E_NOTINITIALIZED, MK_E_UNAVAILABLE,
                             VFW_E_ALREADY_CONNECTED, VFW_E_NOT_CONNECTED, VFW_E_NOT_FOUND, VFW_E_CANNOT_CONNECT,
                             VFW_E_CANNOT_RENDER, VFW_E_NOT_STOPPED, VFW_E_WRONG_STATE, VFW_E_INVALID_FILE_FORMAT,
                             VFW_E_UNKNOWN_FILE_TYPE, VFW_E_UNSUPPORTED_STREAM, VFW_E_FILE_TOO_SHORT, VFW_E_NO_DECOMPRESSOR,
                             VFW_E_NOT_IN_GRAPH, VFW_E_INVALID_DIRECTION, VFW_E_NO_ACCEPTABLE_TYPES, VFW_E_TYPE_NOT_ACCEPTED,
                             VFW_S_PARTIAL_RENDER, VFW_S_DUPLICATE_NAME, VFW_S_STATE_INTERMEDIATE, S_FALSE};
    std::set<std::string> seen;
    for (HRESULT hr : codes) {
        char buffer[256];
        const DWORD n = AMGetErrorTextA(hr, buffer, sizeof buffer);
        ASSERT_GT(n, 0u);
        EXPECT_EQ(std::strlen(buffer), n);
        EXPECT_EQ(std::string(buffer).find("unknown"), std::string::npos) << HResultName(hr);
        EXPECT_TRUE(seen.insert(buffer).second) << "shared text: " << buffer;
        EXPECT_NE(HResultName(hr).rfind("0x", 0), 0u) << buffer;
    }
}

TEST(ErrorText, CutsToTheBufferAndNamesUnknownCodes)
{
    char small[8];
    EXPECT_EQ(AMGetErrorTextA(VFW_E_CANNOT_RENDER, small, sizeof small), 7u);
    EXPECT_EQ(std::string(small), ErrorText(VFW_E_CANNOT_RENDER).substr(0, 7));
    EXPECT_EQ(AMGetErrorTextA(E_FAIL, small, 0), 0u);
    EXPECT_EQ(AMGetErrorTextA(E_FAIL, nullptr, 100), 0u);
    char one[1] = {'x'};
    EXPECT_EQ(AMGetErrorTextA(E_FAIL, one, 1), 0u);
    EXPECT_EQ(one[0], '\0');

    EXPECT_NE(ErrorText(MakeHResult(0x8BADF00Du)).find("0x8BADF00D"), std::string::npos);
    EXPECT_EQ(HResultName(MakeHResult(0x8BADF00Du)), "0x8BADF00D");
}
