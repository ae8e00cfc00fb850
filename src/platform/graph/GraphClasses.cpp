#include "platform/graph/GraphClasses.h"

namespace kestrine::platform {

void RegisterBuiltInGraphClasses(const ClassAdder&) {}

}  // namespace kestrine::platform
