// Whether a settings document that was read can be used, and if not, why:
// a tree nested far deeper than a settings file ever is would make every
// save larger (one tab per level on each line), so it counts as damaged.
#pragma once

#include <string>

class CMyTag;

namespace pyrrow::settings {

// The most levels of elements a settings document may nest; the program
// itself writes three.
constexpr int kMaxNesting = 100;

// Why the tree from root on (its following top-level elements included)
// cannot be used: "holds elements nested more than 100 levels deep, ...";
// empty when it can. Walks the tree without recursion.
std::string NestingProblem(const CMyTag& root);

}  // namespace pyrrow::settings
