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

}  // namespace halvorine::cli
