// The record that gives a join's first input back is read only when whole and consistent: it
// decides which bytes of a file are cut off and rewritten.
#include <gtest/gtest.h>

#include "asf/AppendUndo.h"
#include "asf/FormatError.h"

namespace kestrine::asf {
namespace {

AppendUndo Sample()
{
    AppendUndo undo;
    undo.earlierName = "temp2";
    undo.earlierHead = {1, 2, 3, 4};
    undo.tailOffset = 100;
    undo.earlierTail = {9, 9};
    undo.earlierSize = 102;
    undo.laterHead = {5, 6, 7, 8};
    undo.laterSize = 300;
    return undo;
}

TEST(AppendUndoTest, OnlyAWholeConsistentRecordIsRead)
{
    const std::vector<std::uint8_t> bytes = SerializeAppendUndo(Sample());
    EXPECT_EQ(ParseAppendUndo(bytes), Sample());
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_THROW(ParseAppendUndo(std::span(bytes).first(n)), FormatError) << n;
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_THROW(ParseAppendUndo(longer), FormatError);

    for (const std::string name : {"../temp2", "", "..", "a/b"}) {
        AppendUndo undo = Sample();
        undo.earlierName = name;
        EXPECT_THROW(ParseAppendUndo(SerializeAppendUndo(undo)), FormatError) << name;
    }
    AppendUndo inconsistent = Sample();
    inconsistent.earlierSize = 103;  // the tail would not reach the end
    EXPECT_THROW(ParseAppendUndo(SerializeAppendUndo(inconsistent)), FormatError);
    inconsistent = Sample();
    inconsistent.laterHead.pop_back();
    EXPECT_THROW(ParseAppendUndo(SerializeAppendUndo(inconsistent)), FormatError);
}

}  // namespace
}  // namespace kestrine::asf
