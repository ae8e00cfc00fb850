#include "cutter/Arguments.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TestPaths.h"

namespace kestrine::cutter {
namespace {

using Args = std::vector<std::string>;

TimeArgument T(std::int64_t tenThousandths) { return TimeArgument{tenThousandths}; }

std::string UsageMessage(const Args& args)
{
    try {
        ParseArguments(args);
    } catch (const UsageError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(ArgumentsTest, EditorCutLineWithBothOptions)
{
    const Arguments a = ParseArguments(Args{"-i", "/videos/my clip.wmv", "-o", "/tmp/k/temp0", "-start", "12.5",
                                            "-stop", "83.0417", "-y", "-cvb", "-noindex"});
    EXPECT_EQ(a.command, Command::Cut);
    EXPECT_EQ(a.inputs, Args{"/videos/my clip.wmv"});
    EXPECT_EQ(a.output, "/tmp/k/temp0");
    EXPECT_EQ(a.start, T(125000));
    EXPECT_EQ(a.stop, T(830417));
    EXPECT_TRUE(a.overwrite);
    EXPECT_TRUE(a.startAtKeyframeBefore);
    EXPECT_TRUE(a.noIndex);
}

TEST(ArgumentsTest, SwitchOrderDoesNotMatter)
{
    const Arguments expected = ParseArguments(Args{"-i", "a.wmv", "-o", "b.wmv", "-start", "1", "-stop", "2", "-y"});
    EXPECT_EQ(ParseArguments(Args{"-y", "-stop", "2", "-o", "b.wmv", "-start", "1", "-i", "a.wmv"}), expected);
    EXPECT_FALSE(expected.startAtKeyframeBefore);
    EXPECT_FALSE(expected.noIndex);
}

TEST(ArgumentsTest, OneSidedCutsAndCopy)
{
    const Arguments toEnd = ParseArguments(Args{"-i", "a.wmv", "-o", "b.wmv", "-start", "30", "-y"});
    EXPECT_EQ(toEnd.command, Command::Cut);
    EXPECT_EQ(toEnd.start, T(300000));
    EXPECT_FALSE(toEnd.stop.has_value());

    const Arguments fromStart = ParseArguments(Args{"-i", "a.wmv", "-o", "b.wmv", "-stop", "0.0312"});
    EXPECT_EQ(fromStart.command, Command::Cut);
    EXPECT_FALSE(fromStart.start.has_value());
    EXPECT_EQ(fromStart.stop, T(312));
    EXPECT_FALSE(fromStart.overwrite);

    const Arguments copy = ParseArguments(Args{"-i", "a.wmv", "-o", "b.wmv"});
    EXPECT_EQ(copy.command, Command::Copy);
    EXPECT_FALSE(copy.start || copy.stop);
}

TEST(ArgumentsTest, JoinKeepsInputOrder)
{
    const Arguments two = ParseArguments(Args{"-i", "/t/temp0", "-i", "/t/temp1", "-o", "/t/temp2", "-y"});
    EXPECT_EQ(two.command, Command::Join);
    EXPECT_EQ(two.inputs, (Args{"/t/temp0", "/t/temp1"}));

    const Arguments three = ParseArguments(Args{"-i", "c", "-o", "out", "-i", "a", "-noindex", "-i", "b"});
    EXPECT_EQ(three.command, Command::Join);
    EXPECT_EQ(three.inputs, (Args{"c", "a", "b"}));
    EXPECT_TRUE(three.noIndex);

    // Joining a file to itself is a legitimate request.
    EXPECT_EQ(ParseArguments(Args{"-i", "a", "-i", "a", "-o", "aa"}).inputs.size(), 2u);
}

TEST(ArgumentsTest, KeyframeReportHelpAndVersion)
{
    const Arguments report = ParseArguments(Args{"-i", "/v/clip.wmv", "-infokf"});
    EXPECT_EQ(report.command, Command::KeyframeReport);
    EXPECT_EQ(report.inputs, Args{"/v/clip.wmv"});
    EXPECT_EQ(ParseArguments(Args{"-infokf", "-i", "x"}).command, Command::KeyframeReport);

    EXPECT_EQ(ParseArguments(Args{"-h"}).command, Command::Help);
    EXPECT_EQ(ParseArguments(Args{"--help"}).command, Command::Help);
    EXPECT_EQ(ParseArguments(Args{"-i", "a", "--help"}).command, Command::Help);
    EXPECT_EQ(ParseArguments(Args{"--version"}).command, Command::Version);

    const char* argv[] = {"asfbin.exe", "-i", "a.wmv", "-infokf"};
    EXPECT_EQ(ParseArguments(4, argv).command, Command::KeyframeReport);
}

TEST(ArgumentsTest, ValuesThatLookLikeSwitchesButAreNot)
{
    // A file name may begin with a minus; only the known switches end a value.
    EXPECT_EQ(ParseArguments(Args{"-i", "-odd name.wmv", "-infokf"}).inputs, Args{"-odd name.wmv"});
    // A negative time is a value, not a switch.
    EXPECT_EQ(ParseArguments(Args{"-i", "a", "-o", "b", "-start", "-1.5", "-stop", "2"}).start, T(-15000));
}

TEST(ArgumentsTest, UsageErrorsSayWhatIsWrong)
{
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-bogus"}).find("unknown switch \"-bogus\""), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-Y"}).find("unknown switch"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i"}).find("-i needs a file name"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "-o", "b"}).find("-i needs a file name"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-start"}).find("-start needs a time"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-stop", "-y"}).find("-stop needs a time"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "", "-infokf"}).find("not an empty one"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-o", "c"}).find("-o is given twice"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-start", "1", "-start", "2"}).find("twice"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "stray", "-o", "b"}).find("unexpected argument \"stray\""),
              std::string::npos);
    EXPECT_NE(UsageMessage({}).find("nothing to do"), std::string::npos);
    EXPECT_NE(UsageMessage({"-o", "b"}).find("no input"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-start", "1"}).find("no output"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-i", "b", "-o", "c", "-stop", "3"}).find("single input"),
              std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-infokf"}).find("leave out -o"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-i", "b", "-infokf"}).find("exactly one"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-infokf", "-stop", "2"}).find("leave out -start"), std::string::npos);
    EXPECT_NE(UsageMessage({"-i", "a", "-infokf", "-y"}).find("not to -infokf"), std::string::npos);
}

TEST(ArgumentsTest, OddNamesInMessagesStayOnOneLineAndNeverLookLikeKeyframes)
{
    const std::string message = UsageMessage({"-i", "a", "stray\n   1234  X", "-o", "b"});
    EXPECT_NE(message.find("unexpected argument"), std::string::npos);
    EXPECT_EQ(message.find('\n'), std::string::npos);
    EXPECT_EQ(message.find("  X"), std::string::npos);
}

TEST(ArgumentsTest, StopMustLieAfterStart)
{
    EXPECT_EQ(UsageMessage({"-i", "a", "-o", "b", "-start", "10", "-stop", "5"}),
              "-stop 5 is not after -start 10: nothing to cut");
    EXPECT_NE(UsageMessage({"-i", "a", "-o", "b", "-start", "2.5", "-stop", "2.50"}).find("nothing to cut"),
              std::string::npos);
    EXPECT_EQ(ParseArguments(Args{"-i", "a", "-o", "b", "-start", "2.5", "-stop", "2.5001"}).stop, T(25001));
}

TEST(ArgumentsTest, OutputThatNamesAnInputIsRefused)
{
    namespace fs = std::filesystem;
    const fs::path dir = test::FreshTestDir();
    std::ofstream(dir / "a.wmv") << "a";
    std::ofstream(dir / "b.wmv") << "b";
    fs::create_symlink(dir / "a.wmv", dir / "link.wmv");
    fs::create_hard_link(dir / "b.wmv", dir / "hard.wmv");
    const auto join = [&](const fs::path& out) {
        return Args{"-i", (dir / "a.wmv").string(), "-i", (dir / "b.wmv").string(), "-o", out.string(), "-y"};
    };
    const auto refused = [&](const fs::path& out) {
        try {
            CheckOutputIsNoInput(ParseArguments(join(out)));
        } catch (const UsageError& e) {
            return std::string(e.what());
        }
        return std::string("(accepted)");
    };
    EXPECT_EQ(refused(dir / "b.wmv"),
              "the output \"" + (dir / "b.wmv").string() + "\" is the input \"" + (dir / "b.wmv").string() +
                  "\"; write to another file");
    fs::create_directory(dir / "sub");
    EXPECT_NE(refused(dir / "sub" / ".." / "a.wmv").find("is the input"), std::string::npos)
        << "another spelling of the same path";
    EXPECT_NE(refused(dir / "link.wmv").find("is the input"), std::string::npos);
    EXPECT_NE(refused(dir / "hard.wmv").find("is the input \"" + (dir / "b.wmv").string()), std::string::npos);
    EXPECT_EQ(refused(dir / "new.wmv"), "(accepted)");
    std::ofstream(dir / "other.wmv") << "o";
    EXPECT_EQ(refused(dir / "other.wmv"), "(accepted)") << "an unrelated existing file is for -y to judge";
}

TEST(TimeArgumentTest, ParsesExactlyIntoTenThousandths)
{
    // Each of these goes wrong through a double (x * 10000 truncated) somewhere.
    EXPECT_EQ(ParseTimeArgument("83.0417").tenThousandths, 830417);
    EXPECT_EQ(ParseTimeArgument("0.0312").tenThousandths, 312);
    EXPECT_EQ(ParseTimeArgument("1.1").tenThousandths, 11000);
    EXPECT_EQ(ParseTimeArgument("4.35").tenThousandths, 43500);
    EXPECT_EQ(ParseTimeArgument("0.0001").tenThousandths, 1);
    EXPECT_EQ(ParseTimeArgument("12").tenThousandths, 120000);
    EXPECT_EQ(ParseTimeArgument("007.5").tenThousandths, 75000);
    EXPECT_EQ(ParseTimeArgument("0").tenThousandths, 0);
    EXPECT_EQ(ParseTimeArgument("-0").tenThousandths, 0);
    EXPECT_EQ(ParseTimeArgument("-0.0312").tenThousandths, -312);
    EXPECT_EQ(ParseTimeArgument("36000.9999").tenThousandths, 360009999);
    EXPECT_EQ(ParseTimeArgument("900000000000000").tenThousandths, 9000000000000000000);
    EXPECT_EQ(ParseTimeArgument("12.5").HundredNanoseconds(), 125000000);
}

TEST(TimeArgumentTest, RejectsEverythingElse)
{
    for (const char* bad : {"", "-", ".5", "5.", "1.23456", "1,5", "1e3", "+1", "--1", " 1", "1 ", "1.2.3", "0x10",
                            "1.5s", "١", "99999999999999999999", "inf", "nan"}) {
        EXPECT_THROW(ParseTimeArgument(bad, "-start"), UsageError) << '"' << bad << '"';
    }
    try {
        ParseTimeArgument("1,5", "-stop");
        FAIL();
    } catch (const UsageError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "-stop needs seconds written like 12.5 or 83.0417 (a point and at most four decimals), not \"1,5\"");
    }
}

TEST(TimeArgumentTest, TextIsTheShortestExactForm)
{
    EXPECT_EQ(T(830417).Text(), "83.0417");
    EXPECT_EQ(T(125000).Text(), "12.5");
    EXPECT_EQ(T(120000).Text(), "12");
    EXPECT_EQ(T(0).Text(), "0");
    EXPECT_EQ(T(312).Text(), "0.0312");
    EXPECT_EQ(T(-312).Text(), "-0.0312");
    EXPECT_EQ(T(10).Text(), "0.001");
    EXPECT_EQ(T(std::numeric_limits<std::int64_t>::min()).Text(), "-922337203685477.5808");
    for (std::int64_t v : {1LL, 9999LL, 10001LL, -90001LL, 123456789LL})
        EXPECT_EQ(ParseTimeArgument(T(v).Text()).tenThousandths, v);
}

TEST(ArgumentsTest, UsageTextListsEverySwitchAndExitCode)
{
    const std::string text = UsageText();
    for (const char* s : {"-i ", "-o ", "-start", "-stop", "-y ", "-cvb", "-noindex", "-infokf", "--help", "--version"})
        EXPECT_NE(text.find(s), std::string::npos) << s;
    EXPECT_NE(text.find("  0  success"), std::string::npos);
    EXPECT_NE(text.find("  2  usage error"), std::string::npos);
    // The editor's keyframe parse keys on two blanks and a capital X; usage must never look like that.
    EXPECT_EQ(text.find("  X"), std::string::npos);
}

}  // namespace
}  // namespace kestrine::cutter
