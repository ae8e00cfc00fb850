#pragma once
// asfbin.exe -i A -i B [-i C ...] -o OUT [-y] [-cvb] [-noindex]
//
// Writes the inputs one after another: each input's timeline follows the end of the one before it,
// in the first input's packet size and preroll. The inputs must carry the same streams with the same
// codec setup; otherwise nothing is written and the error names the two files and the difference.
// -cvb concerns where a cut starts and has no effect here.
#include "cutter/Arguments.h"
#include "cutter/RemuxCommand.h"

namespace kestrine::cutter {

int RunJoin(const Arguments& args, const Printer& print);

}  // namespace kestrine::cutter
