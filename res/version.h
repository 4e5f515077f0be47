// The program's version as text ("0.2.0"), compiled into each executable that
// links pyrrow_version, for the program to show and for a look at the binary.
#pragma once

namespace pyrrow::res {

extern const char kVersion[];

}  // namespace pyrrow::res
