#include <gtest/gtest.h>
#include <limits>

#include "core/CommandLine.h"
#include "core/CutterCommands.h"

using namespace kestrine::core;
using Words = std::vector<std::string>;

TEST(TimeArgumentTest, TenThousandthsWithTrailingZerosDropped)
{
    EXPECT_EQ(FormatTimeArgument(83.04166), "83.0417");
    EXPECT_EQ(FormatTimeArgument(12.5), "12.5");
    EXPECT_EQ(FormatTimeArgument(12.0), "12");
    EXPECT_EQ(FormatTimeArgument(0.0), "0");
    EXPECT_EQ(FormatTimeArgument(5.00004), "5");
    // The product is rounded as computed: 5.00005 x 10000 comes out as exactly 50000.5.
    EXPECT_EQ(FormatTimeArgument(5.00005), "5");
    EXPECT_EQ(FormatTimeArgument(0.0001), "0.0001");
    EXPECT_EQ(FormatTimeArgument(0.00004), "0");
    EXPECT_EQ(FormatTimeArgument(1.01), "1.01");
    EXPECT_EQ(FormatTimeArgument(7200.1), "7200.1");
}

TEST(TimeArgumentTest, ExactHalvesOfTheLastDigitGoToEven)
{
    EXPECT_EQ(FormatTimeArgument(0.03125), "0.0312");
    EXPECT_EQ(FormatTimeArgument(0.09375), "0.0938");
    EXPECT_EQ(FormatTimeArgument(0.15625), "0.1562");
}

TEST(TimeArgumentTest, NegativeHugeAndOddValuesNeverUseAnExponent)
{
    EXPECT_EQ(FormatTimeArgument(-1.5), "-1.5");
    EXPECT_EQ(FormatTimeArgument(-0.00004), "0");  // rounds to a zero count: no "-0"
    EXPECT_EQ(FormatTimeArgument(-0.0), "0");
    EXPECT_EQ(FormatTimeArgument(1e12), "1000000000000");
    EXPECT_EQ(FormatTimeArgument(123456789.12345), "123456789.1234");
    EXPECT_EQ(FormatTimeArgument(std::numeric_limits<double>::quiet_NaN()), "0");
    EXPECT_EQ(FormatTimeArgument(1e300), "922337203685477.5807");
    EXPECT_EQ(FormatTimeArgument(-1e300), "-922337203685477.5808");
}

TEST(CutterCommandsTest, KeyFrameReportLine)
{
    EXPECT_EQ(KeyFrameReportCommand("/opt/kestrine/bin/", "/v/clip.wmv"),
              "\"/opt/kestrine/bin/asfbin.exe\" -i \"/v/clip.wmv\" -infokf");
}

TEST(CutterCommandsTest, CutLineHasTwoBlanksBeforeTheInputAndTheOptionsInOrder)
{
    const std::string base = "\"/e/asfbin.exe\"  -i \"/v/a.wmv\" -o \"/t/temp0\" -start 12.5 -stop 83.0417 -y";
    EXPECT_EQ(CutCommand("/e/", "/v/a.wmv", "/t/", "temp0", 12.5, 83.04166, {}), base);
    EXPECT_EQ(CutCommand("/e/", "/v/a.wmv", "/t/", "temp0", 12.5, 83.04166, {.Cvb = false, .NoIndex = true}),
              base + " -noindex");
    EXPECT_EQ(CutCommand("/e/", "/v/a.wmv", "/t/", "temp0", 12.5, 83.04166, {.Cvb = true, .NoIndex = false}),
              base + " -cvb");
    EXPECT_EQ(CutCommand("/e/", "/v/a.wmv", "/t/", "temp0", 12.5, 83.04166, {.Cvb = true, .NoIndex = true}),
              base + " -cvb -noindex");
}

TEST(CutterCommandsTest, JoinLineNamesTheCurrentResultTheSegmentAndTheNextResult)
{
    EXPECT_EQ(JoinCommand("/e/", "/t/", 3, "temp3", {}),
              "\"/e/asfbin.exe\"  -i \"/t/temp2\" -i \"/t/temp3\" -o \"/t/temp4\" -append -y");
    EXPECT_EQ(JoinCommand("/e/", "/t/", 1, "temp1", {.Cvb = true, .NoIndex = true}),
              "\"/e/asfbin.exe\"  -i \"/t/temp0\" -i \"/t/temp1\" -o \"/t/temp2\" -append -y -cvb -noindex");
}

TEST(CutterCommandsTest, StateOverloadsTakePathsMarksAndCounters)
{
    EditState state;
    state.EditorDir = "/e/";
    state.TempDir = "/t/";
    state.MarkIn = 0;
    state.MarkOut = 5.00004;
    EXPECT_EQ(CutCommand(state, "/v/a.wmv", {}),
              "\"/e/asfbin.exe\"  -i \"/v/a.wmv\" -o \"/t/temp0\" -start 0 -stop 5 -y");
    state.ResultCounter = 5;
    state.ResultName = "temp5";
    EXPECT_EQ(JoinCommand(state, {}), "\"/e/asfbin.exe\"  -i \"/t/temp4\" -i \"/t/temp5\" -o \"/t/temp6\" -append -y");
}

TEST(CutterCommandsTest, AwkwardPathsSplitBackIntoTheCuttersArguments)
{
    const std::string editor = "/opt/my \"editor\" $(x)/";
    const std::string source = std::string("-clip `id`\n\xff.wmv");
    const std::string temp = "/tmp/k run\\dir/";
    EXPECT_EQ(SplitCommandLine(CutCommand(editor, source, temp, "temp1", 1, 2, {.Cvb = true, .NoIndex = false})),
              (Words{editor + "asfbin.exe", "-i", source, "-o", temp + "temp1", "-start", "1", "-stop", "2", "-y",
                     "-cvb"}));
    EXPECT_EQ(SplitCommandLine(JoinCommand(editor, temp, 1, "temp1", {})),
              (Words{editor + "asfbin.exe", "-i", temp + "temp0", "-i", temp + "temp1", "-o", temp + "temp2", "-append", "-y"}));
    EXPECT_EQ(SplitCommandLine(KeyFrameReportCommand(editor, source)),
              (Words{editor + "asfbin.exe", "-i", source, "-infokf"}));
}
