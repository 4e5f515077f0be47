// Whether standard error is a terminal that takes the cursor movements of
// in-place progress lines, and how wide it is. One source file per system.
#pragma once

#include <cstddef>

namespace pyrrow::platform {

bool StandardErrorIsTerminal();

// The terminal's width in characters; 0 when it is not known.
std::size_t StandardErrorColumns();

}  // namespace pyrrow::platform
