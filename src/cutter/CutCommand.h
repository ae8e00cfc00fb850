#pragma once
// asfbin.exe -i SRC -o OUT [-start T] [-stop T] [-y] [-cvb] [-noindex]
//
// Writes the span of SRC that begins at a keyframe (the first at or after -start; with -cvb the
// last at or before it) and ends before -stop, every stream included, its timeline moved to begin
// at 0. Times are on the editor's timeline: presentation time minus preroll.
#include "cutter/Arguments.h"
#include "cutter/RemuxCommand.h"

namespace kestrine::cutter {

int RunCut(const Arguments& args, const Printer& print);

}  // namespace kestrine::cutter
