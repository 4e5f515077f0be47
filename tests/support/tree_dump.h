// A compact text form of an element tree for assertions:
//   name[attr=value,...]"text"(children...) with siblings separated by " "
//   and a "!" before the text when it carries the CDATA mark.
#pragma once

#include <string>

class CMyTag;

namespace pyrrow::test {

std::u16string DumpTree(const CMyTag* first);

}  // namespace pyrrow::test
