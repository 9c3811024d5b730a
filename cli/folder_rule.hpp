#pragma once
// What a walked folder gives: the recordings in it, the folders to look
// into, and what is passed over. Cards, drive roots and synced folders hold
// more than recordings: a Mac's "._" companions beside each one, trash
// folders, the system's own folders. What a person named themselves is
// taken whatever it is; this judges only what a walk finds.

#include <string_view>

namespace halvorine::cli {

// What an entry is on disk. A link is a symbolic link, a junction or a mount
// point: anything that names another place. `other` is a pipe, a device, a
// socket, or what the system could not tell.
enum class Entry { file, folder, link, other };

// A recording, a folder to walk, or the kind it is passed over as.
enum class Verdict { take, walk, link, hidden, other };

// `hidden` is Windows' Hidden or System attribute. An entry passed over is
// counted by the first kind that applies: a link, then hidden or system
// (names starting with '.', and the trash and system folders that
// Windows and Linux keep at a drive's root, in any letter case), then not a
// recording (anything but a file named *.wav, in any letter case).
Verdict judge(std::string_view name, Entry entry, bool hidden);

}  // namespace halvorine::cli
