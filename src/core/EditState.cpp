#include "core/EditState.h"

namespace kestrine::core {

EditState Edit;

}  // namespace kestrine::core
