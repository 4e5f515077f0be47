// Whether a settings document that was read can be used, and if not, why,
// in words for the operator: where the reading stopped and the likely cause
// (a file saved as UTF-8 above all), for the window's standard error and
// for pyrrow-cli alike. A tree nested far deeper than a settings file ever
// is counts as damaged too: each save would write one tab per level on
// each line.
#pragma once

#include <cstdint>
#include <string>

class CMyTag;
class CMyXMLFile;

namespace pyrrow::settings {

// The most levels of elements a settings document may nest; the program
// itself writes three.
constexpr int kMaxNesting = 100;

// Why the document's content did not parse, for a result of Parse other
// than 1, as it follows the file's name: "does not parse at line 3, column
// 17 (byte 98): an attribute value without quotes (code -6)". fileBytes is
// the size of the file the content came from, for a NUL that cut it short.
std::string ParseProblem(const CMyXMLFile& document, int parsed, std::uint64_t fileBytes);

// Why the tree from root on (its following top-level elements included)
// cannot be used: "holds elements nested more than 100 levels deep, ...";
// empty when it can. Walks the tree without recursion.
std::string NestingProblem(const CMyTag& root);

}  // namespace pyrrow::settings
