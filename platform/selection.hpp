#pragma once
// A selection in Explorer, handed whole to one process. The .wav and folder
// entries are DropTarget verbs: COM starts the drop target built for clicks
// with "-Embedding", this process serves the verbs' class for one use, and
// Explorer calls Drop once with every item chosen, however many. Each
// selection so gets a process, and a window, of its own.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace halvorine {

struct Selection {
    std::vector<std::filesystem::path> paths;
    std::size_t without_path = 0;  // items that are no file on a drive: a phone's, a zip folder's
};

// Whether COM started this program to serve the verbs' class: its only
// argument is "-Embedding" or "/Embedding". Never outside Windows.
bool started_by_com(const std::vector<std::filesystem::path>& args);

// Serves the verbs' class until Explorer's Drop has come, which returns at
// once, and gives what it held. Nothing when no Drop came within `wait` of
// the start, or COM could not be used.
std::optional<Selection> take_selection(std::chrono::seconds wait);

// The paths in a CF_HDROP block: a DROPFILES header, then UTF-16 names,
// each ended by a 0 and the list by one more. Only what lies within the
// block is read; a name cut by its end is left out. Nothing for a block of
// 8-bit names, which Explorer never sends.
std::vector<std::wstring> dropped_paths(std::span<const unsigned char> block);

// How many items a CFSTR_SHELLIDLIST block (a CIDA: the count, then an
// offset for the folder and one for each item) names; 0 when the block is
// too short for its offsets.
std::size_t shell_items(std::span<const unsigned char> block);

}  // namespace halvorine
