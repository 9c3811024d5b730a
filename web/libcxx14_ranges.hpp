#pragma once
// Debian's emscripten comes with the libc++ of LLVM 14, which has no
// std::ranges::transform yet. The core uses its (range, output, function)
// form; this gives that form to the web build alone (included before every
// source by web/CMakeLists.txt), and nothing once the library has its own.

#include <version>

#if defined(_LIBCPP_VERSION) && _LIBCPP_VERSION < 15000
#include <algorithm>

namespace std::ranges {
template <typename Range, typename Output, typename Function>
constexpr void transform(Range&& range, Output out, Function f) {
    std::transform(range.begin(), range.end(), out, f);
}
}  // namespace std::ranges
#endif
