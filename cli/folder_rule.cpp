#include "cli/folder_rule.hpp"

#include <algorithm>
#include <array>

namespace halvorine::cli {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_letters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower(x) == lower(y);
           });
}

// Kept by Windows (the recycle bin, restore points and the indexer's files)
// and by Linux's fsck at the root of a drive; none of it is the user's
// recordings, and walking the recycle bin would convert what was deleted.
constexpr std::array system_folders{std::string_view("$RECYCLE.BIN"), std::string_view("System Volume Information"),
                                    std::string_view("lost+found")};

}  // namespace

Verdict judge(std::string_view name, Entry entry, bool hidden) {
    if (entry == Entry::link) return Verdict::link;
    // AppleDouble "._" files, .Trash-1000, .Spotlight-V100 and the like.
    if (hidden || name.starts_with('.') ||
        std::any_of(system_folders.begin(), system_folders.end(),
                    [name](std::string_view s) { return same_letters(name, s); })) {
        return Verdict::hidden;
    }
    if (entry == Entry::folder) return Verdict::walk;
    constexpr std::string_view wav = ".wav";
    if (entry == Entry::file && name.size() > wav.size() && same_letters(name.substr(name.size() - wav.size()), wav)) {
        return Verdict::take;
    }
    return Verdict::other;
}

}  // namespace halvorine::cli
