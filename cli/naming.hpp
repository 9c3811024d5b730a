#pragma once
// The output file's name, composed from the argument.

#include <optional>
#include <string>
#include <string_view>

namespace halvorine::cli {

inline constexpr std::string_view output_prefix = "halvorine-";
inline constexpr std::string_view output_extension = "ddc";
// The first '.' of the composed name counts only at positions 0 to 79.
inline constexpr std::size_t dot_window = 80;

// "halvorine-" + argument, cut after its first '.', then "ddc": sim.wav gives
// halvorine-sim.ddc. Empty when no '.' stands within the window.
std::optional<std::string> output_name(std::string_view argument);

// A name as the drop target's own lines show it: each control character (C0,
// DEL, and C1 as UTF-8) a '?', as ls shows them on a terminal, so that a
// name with a newline stays on its line and none can move the cursor or
// change the colours.
std::string shown_name(std::string_view name);

}  // namespace halvorine::cli
