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

std::string shown_name(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        const bool c1 = byte == 0xc2 && i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xe0) == 0x80;
        if (byte < 0x20 || byte == 0x7f || c1) {
            shown += '?';
            if (c1) ++i;
        } else {
            shown += name[i];
        }
    }
    return shown;
}

}  // namespace halvorine::cli
