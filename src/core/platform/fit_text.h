#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wexal {

// A text shortened to at most columns (cp932 columns, as Cp932Width counts)
// so that its beginning and end stay readable: the longest run of half-width
// characters without blanks (a file or folder name, as a rule) loses its
// middle to "…"; when that is not enough, the whole text does.
std::string FitMiddle(std::string_view text, std::size_t columns);

}  // namespace wexal
