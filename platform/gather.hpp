#pragma once
// Explorer starts the .wav entry's command once per file chosen. The drop
// targets one such gesture starts meet here: the first leads and opens the
// one window; each of the others hands its file to the leader and ends.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace halvorine {

class Gathering {
public:
    // Joins the drop targets started with this one, `file` being this one's
    // full path. Null when the file was handed to a leader, which converts
    // it: this process then ends without a word. Otherwise this process
    // leads; where there is no gathering to lead (Linux, where a file manager
    // passes every file at once, or no pipe could be made), it leads alone.
    static std::unique_ptr<Gathering> join(const std::filesystem::path& file);

    Gathering() = default;
    Gathering(const Gathering&) = delete;
    Gathering& operator=(const Gathering&) = delete;
    virtual ~Gathering() = default;

    // The full paths handed over, in the order they came, once none has come
    // for a moment. It then takes no more: a drop target started later leads
    // a window of its own.
    virtual std::vector<std::filesystem::path> collect() = 0;
};

// The gathering pipe's security descriptor, in SDDL: all access for the SID
// `user` alone, no entry inherited or added, and the mandatory label
// `integrity` (a SID S-1-16-...), which keeps processes of a lower integrity
// level from reading or writing. Empty unless both are plain SIDs, so that
// nothing else can slip into the descriptor.
std::wstring pipe_security(std::wstring_view user, std::wstring_view integrity);

}  // namespace halvorine
