// Whether standard error is a terminal that takes the cursor movements of
// in-place progress lines. One source file per system.
#pragma once

namespace pyrrow::cli {

bool StandardErrorIsTerminal();

}  // namespace pyrrow::cli
