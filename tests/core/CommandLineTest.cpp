#include <gtest/gtest.h>
#include <random>

#include "core/CommandLine.h"

using kestrine::core::Quote;
using kestrine::core::SplitCommandLine;
using Words = std::vector<std::string>;

namespace {

const Words& AwkwardNames()
{
    static const Words names{
        "",
        "plain",
        "/home/user/My Videos/clip one.wmv",
        "two  blanks\tand a tab",
        "\"quoted\"",
        "half\"quote",
        "back\\slash",
        "ends in backslash\\",
        "\\\"",
        "\\\\\"\\",
        "$(rm -rf ~)",
        "`id`",
        "line\nbreak\r\n",
        "-i",
        "-leading dash",
        "'single' quotes",
        "glob * ? [a]",
        "; | & < > #",
        std::string("\xff\xfe\x80 not utf-8 \xc3"),
        " ",
        "\"",
    };
    return names;
}

std::string Join(const Words& words)
{
    std::string line;
    for (const std::string& w : words) {
        if (!line.empty())
            line += ' ';
        line += Quote(w);
    }
    return line;
}

}  // namespace

TEST(CommandLineTest, EveryAwkwardNameComesBackAsOneUnchangedWord)
{
    for (const std::string& name : AwkwardNames()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(SplitCommandLine(Quote(name)), Words{name});
    }
    EXPECT_EQ(SplitCommandLine(Join(AwkwardNames())), AwkwardNames());
}

TEST(CommandLineTest, RandomByteStringsSurviveQuotingAndSplitting)
{
    std::mt19937 random(20261208);
    // Weighted towards the bytes the rules treat specially.
    const std::string special = " \t\r\n\"\\$`'-";
    for (int round = 0; round < 2000; ++round) {
        Words words(1 + random() % 4);
        for (std::string& w : words) {
            const std::size_t length = random() % 12;
            for (std::size_t i = 0; i < length; ++i) {
                w += random() % 2 ? special[random() % special.size()]
                                  : static_cast<char>(random() % 256);
            }
        }
        ASSERT_EQ(SplitCommandLine(Join(words)), words) << Join(words);
    }
}

TEST(CommandLineTest, QuoteAlwaysQuotesAndEscapesOnlyQuoteAndBackslash)
{
    EXPECT_EQ(Quote("abc"), "\"abc\"");
    EXPECT_EQ(Quote(""), "\"\"");
    EXPECT_EQ(Quote("a\"b\\c$`d"), "\"a\\\"b\\\\c$`d\"");
}

TEST(CommandLineTest, UnquotedWordsAndBlanksSplitAsTheCutterLinesNeed)
{
    EXPECT_EQ(SplitCommandLine("\"/opt/k/asfbin.exe\"  -i \"a b\" -start 12.5 -y"),
              (Words{"/opt/k/asfbin.exe", "-i", "a b", "-start", "12.5", "-y"}));
    EXPECT_EQ(SplitCommandLine(""), Words{});
    EXPECT_EQ(SplitCommandLine(" \t\n "), Words{});
    EXPECT_EQ(SplitCommandLine("a\tb\nc\r\nd"), (Words{"a", "b", "c", "d"}));
    // Outside quotes a backslash is an ordinary byte.
    EXPECT_EQ(SplitCommandLine("C:\\dir\\x"), Words{"C:\\dir\\x"});
    // Pieces that touch form one word.
    EXPECT_EQ(SplitCommandLine("pre\"mid dle\"post"), Words{"premid dlepost"});
    EXPECT_EQ(SplitCommandLine("\"\" \"\""), (Words{"", ""}));
    // Inside quotes a backslash before another byte stands for itself.
    EXPECT_EQ(SplitCommandLine("\"a\\nb\""), Words{"a\\nb"});
    // A quote left open runs to the end of the line.
    EXPECT_EQ(SplitCommandLine("x \"open to the end"), (Words{"x", "open to the end"}));
    EXPECT_EQ(SplitCommandLine("\"ends on a backslash\\"), Words{"ends on a backslash\\"});
}
