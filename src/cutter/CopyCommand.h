#pragma once
// asfbin.exe -i SRC -o OUT [-y] [-noindex]
//
// Rewrites SRC whole, every media object with its own time, in fresh packets and with a fresh index:
// the repair for recordings that players cannot seek in.
#include "cutter/Arguments.h"
#include "cutter/RemuxCommand.h"

namespace kestrine::cutter {

int RunCopy(const Arguments& args, const Printer& print);

}  // namespace kestrine::cutter
