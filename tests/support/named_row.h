// Tables of test cases: a row with a `name` is reported by that name.
#pragma once

#include <ostream>

namespace pyrrow::test {

// GoogleTest finds it next to the row's type through `using pyrrow::test::PrintTo;`.
template <typename Row>
    requires requires(const Row& row, std::ostream& os) { os << row.name; }
void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.name;
}

}  // namespace pyrrow::test
