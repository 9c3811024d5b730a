#include "cli/naming.hpp"

namespace halvorine::cli {

std::optional<std::string> output_name(std::string_view argument) {
    std::string name{output_prefix};
    name += argument;
    const auto dot = std::string_view(name).substr(0, dot_window).find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    // Everything after the first '.' goes, directory parts included.
    name.resize(dot + 1);
    name += output_extension;
    return name;
}

}  // namespace halvorine::cli
