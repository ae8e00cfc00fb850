#include <gtest/gtest.h>

#include "core/Utf8StreamDecoder.h"

using kestrine::core::Utf8StreamDecoder;

namespace {

// Feeds `bytes` cut at every position in `cuts` and returns all the text.
QString DecodeInPieces(const std::string& bytes, const std::vector<std::size_t>& cuts)
{
    Utf8StreamDecoder decoder;
    QString text;
    std::size_t at = 0;
    for (const std::size_t cut : cuts) {
        text += decoder.Decode(std::string_view(bytes).substr(at, cut - at));
        at = cut;
    }
    text += decoder.Decode(std::string_view(bytes).substr(at));
    return text + decoder.Finish();
}

}  // namespace

TEST(Utf8StreamDecoderTest, CharactersSplitAtAnyPointComeOutWhole)
{
    const std::string bytes = "a\xc3\xa9" "b\xe2\x82\xac" "c\xf0\x9f\x98\x80" "d";  // a é b € c 😀 d
    const QString expected = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    for (std::size_t first = 0; first <= bytes.size(); ++first) {
        for (std::size_t second = first; second <= bytes.size(); ++second) {
            ASSERT_EQ(DecodeInPieces(bytes, {first, second}), expected) << first << " " << second;
        }
    }
    std::vector<std::size_t> everyByte;
    for (std::size_t i = 1; i < bytes.size(); ++i)
        everyByte.push_back(i);
    EXPECT_EQ(DecodeInPieces(bytes, everyByte), expected);
}

TEST(Utf8StreamDecoderTest, InvalidBytesBecomeReplacementsAndLoseNothingAfterThem)
{
    const QChar bad(0xFFFD);
    // A lead byte whose sequence is broken off by a plain letter in the next piece.
    EXPECT_EQ(DecodeInPieces("\xe2" "A", {1}), QString(bad) + "A");
    const QString broken = DecodeInPieces("x\xe2\x82" "A", {3});
    ASSERT_GE(broken.size(), 3);
    EXPECT_EQ(broken.front(), QLatin1Char('x'));
    EXPECT_EQ(broken.back(), QLatin1Char('A'));
    EXPECT_EQ(broken.mid(1, broken.size() - 2), QString(broken.size() - 2, bad));
    EXPECT_EQ(DecodeInPieces("\xff" "A\xfe", {1, 2}), QString(bad) + "A" + bad);
    // An incomplete character at the very end is not dropped.
    const QString tail = DecodeInPieces("ok\xf0\x9f", {});
    EXPECT_TRUE(tail.startsWith(QLatin1String("ok")));
    EXPECT_GE(tail.size(), 3);
    EXPECT_EQ(tail.back(), bad);
}

TEST(Utf8StreamDecoderTest, FinishWithNothingPendingGivesNothing)
{
    Utf8StreamDecoder decoder;
    EXPECT_EQ(decoder.Decode("plain"), QStringLiteral("plain"));
    EXPECT_TRUE(decoder.Finish().isEmpty());
    EXPECT_TRUE(decoder.Decode("").isEmpty());
}
