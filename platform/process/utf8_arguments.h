// The program's arguments after its name, in UTF-8, as the rest of the tool
// takes paths and names. One source file per system: POSIX systems pass
// argv's bytes on as they are; Windows splits its UTF-16 command line, so
// that paths in any language arrive whole.
#pragma once

#include <string>
#include <vector>

namespace pyrrow::platform {

std::vector<std::string> Utf8Arguments(int argc, char** argv);

}  // namespace pyrrow::platform
