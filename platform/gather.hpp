#pragma once
// Explorer starts a plain verb's command once per selected file. The drop
// targets it starts together meet here: the first leads and opens the one
// window; each of the others hands its paths to the leader and ends at once.

#include <filesystem>
#include <memory>
#include <vector>

namespace halvorine {

class Gathering {
public:
    // Joins the drop targets started with this one. Null when `paths` were
    // handed to a leader, which converts them: this process then ends
    // without a word. Otherwise this process leads; where the system has no
    // such gathering (Linux, where a file manager passes every file at
    // once), it leads alone.
    static std::unique_ptr<Gathering> join(const std::vector<std::filesystem::path>& paths);

    Gathering() = default;
    Gathering(const Gathering&) = delete;
    Gathering& operator=(const Gathering&) = delete;
    virtual ~Gathering() = default;

    // The full paths handed over since the last call, in the order they
    // came. With `settle`, first waits until they have stopped coming for a
    // moment (Explorer starts a selection's processes within one).
    virtual std::vector<std::filesystem::path> arrived(bool settle) = 0;

    // Takes no more: a drop target started from now on leads its own window.
    // Whatever was handed over before is returned by the next arrived().
    virtual void close() = 0;
};

}  // namespace halvorine
