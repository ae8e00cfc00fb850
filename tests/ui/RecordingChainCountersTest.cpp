// The result chain's bookkeeping on its own.
#include "core/ResultChain.h"

#include <gtest/gtest.h>

using namespace kestrine::core;

TEST(ResultChainTest, AdvanceRaisesTheHighestAndUndoStepsBackOverOneRecord)
{
    EditState s;
    s.TempDir = "/t/";
    EXPECT_EQ(SegmentPath(s), "/t/temp0");
    EXPECT_FALSE(UndoHasEarlierResult(s));
    AdvanceResult(s);
    EXPECT_EQ(CountersOf(s), (ChainCounters{1, 1, "temp1"}));
    EXPECT_EQ(CurrentResultPath(s), "/t/temp0");
    EXPECT_EQ(JoinedResultPath(s), "/t/temp2");
    AdvanceResult(s);
    AdvanceResult(s);
    EXPECT_TRUE(UndoHasEarlierResult(s));
    StepBackOverLastRecord(s);
    EXPECT_EQ(CountersOf(s), (ChainCounters{0, 3, "temp0"}));  // then the earlier result temp0 is loaded
    AdvanceResult(s);
    EXPECT_EQ(CountersOf(s), (ChainCounters{1, 3, "temp1"}));  // never lowered
    RestartChain(s);
    EXPECT_EQ(CountersOf(s), (ChainCounters{0, 3, "temp0"}));
}

TEST(ResultChainTest, RestoringPutsTheCountersBackButNeverLowersTheHighest)
{
    EditState s;
    s.ResultCounter = 3;
    s.HighestResult = 3;
    s.ResultName = "temp3";
    const ChainCounters saved = CountersOf(s);
    AdvanceResult(s);  // a join that was made, then a load that failed
    RestoreCounters(s, saved);
    EXPECT_EQ(CountersOf(s), (ChainCounters{3, 4, "temp3"}));
    s.HighestResult = 2;  // a saved value above the current one is taken
    RestoreCounters(s, saved);
    EXPECT_EQ(s.HighestResult, 3);
}
