// The drop target. On Windows, Explorer hands it the files dropped on it or
// on its shortcut, as full paths on its command line, or a selection the
// right-click entries were chosen on, through COM (platform/selection.hpp);
// on Linux a file manager starts it from its desktop entry, in a terminal,
// with the files chosen. Each is converted beside itself, in this
// process, exactly as the console program run in its folder on the file's
// bare name, except that no output is written twice in one window. Nothing
// on the way reads the names as anything but names: no command interpreter,
// so none can become a command, and no wildcard expansion, so none a
// pattern. A folder stands for the recordings under it.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>
#include <vector>

#include "cli/folder_rule.hpp"
#include "cli/messages.hpp"
#include "cli/naming.hpp"
#include "cli/sequence.hpp"
#include "convert/blocks.hpp"
#include "platform/console.hpp"
#include "platform/file_io.hpp"
#include "platform/paths.hpp"
#include "platform/selection.hpp"

#if defined(_WIN32)
// The start-up code takes the arguments as they are: "take[1].wav" stays a
// name.
extern "C" {
int _dowildcard = 0;
}
#endif

namespace {

namespace fs = std::filesystem;
using halvorine::cli::Message;
using halvorine::cli::message_text;
using halvorine::cli::shown_name;

using Clock = std::chrono::steady_clock;

// Standard output, and on a terminal the progress line under it. That line
// is blanked before anything else is written, so that every other line comes
// out as it would in a pipe, where there is no progress line at all.
class Screen {
public:
    Screen() : live_(halvorine::output_is_terminal()) {}

    void say(std::string_view text) {
        clear();
        halvorine::write_out(text);
    }
    void say(Message m, std::initializer_list<std::string_view> args = {}) { say(message_text(m, args)); }

    // Shows `text` as the progress line; unless `now`, at most a few times a
    // second, as a console redrawn for every block would slow the run.
    void progress(const std::string& text, bool now) {
        if (!live_) return;
        const auto t = Clock::now();
        if (!now && t - shown_at_ < interval) return;
        std::string line(1, '\r');
        line += text;
        if (text.size() < shown_) line.append(shown_ - text.size(), ' ');
        halvorine::write_out(line);
        shown_ = std::max(shown_, text.size());
        shown_at_ = t;
    }

    void clear() {
        if (shown_ == 0) return;
        std::string blank(shown_ + 2, ' ');
        blank.front() = blank.back() = '\r';
        halvorine::write_out(blank);
        shown_ = 0;
    }

private:
    static constexpr auto interval = std::chrono::milliseconds(250);
    bool live_;
    std::size_t shown_ = 0;  // characters on the progress line
    Clock::time_point shown_at_;
};

// Where one file of the batch is.
struct Progress {
    Screen& screen;
    std::size_t file = 0;     // 1 for the first
    std::size_t files = 0;    // in the batch so far
    std::uint64_t total = 0;  // the input's size; 0 when unknown
    std::uint64_t done = 0;

    void show(bool now) const {
        // Below this a recording converts too fast for its bytes to be read.
        constexpr std::uint64_t long_recording = 16 << 20;
        // In MB of a million bytes, as the page counts them.
        constexpr std::uint64_t mb = 1'000'000;
        const auto k = std::to_string(file);
        const auto n = std::to_string(files);
        if (total < long_recording) {
            screen.progress(message_text(Message::drop_progress, {k, n}), now);
        } else {
            screen.progress(message_text(Message::drop_progress_bytes,
                                         {k, n, std::to_string(done / mb), std::to_string(total / mb)}),
                            now);
        }
    }
};

// The input as the core reads it, counted on the way for the progress line.
class Counted final : public halvorine::Source {
public:
    Counted(halvorine::Source& in, Progress& progress) : in_(in), progress_(progress) {}
    std::size_t read(std::span<halvorine::Byte> into) override {
        const std::size_t got = in_.read(into);
        progress_.done += got;
        progress_.show(false);
        return got;
    }
    [[nodiscard]] bool failed() const override { return in_.failed(); }

private:
    halvorine::Source& in_;
    Progress& progress_;
};

// `name` in `folder` as one UTF-8 path; `name` alone for the current folder.
std::string in_folder(const fs::path& folder, std::string_view name) {
    return halvorine::utf8_name(folder / halvorine::path_from_utf8(name));
}

// The first line of what was said, line ends before it skipped.
std::string first_line(std::string_view text) {
    const auto start = std::min(text.find_first_not_of('\n'), text.size());
    return std::string(text.substr(start, text.find('\n', start) - start));
}

// An output written in this batch, and the recording it was made from.
struct Claim {
    halvorine::FileIdentity output;
    std::optional<halvorine::FileIdentity> input;
    std::string output_name;
    std::string recording;
};

// The console program's run on a file's bare name, its files opened by full
// path in the file's folder, so that no current folder is needed (Windows
// caps one at 260 characters, whatever the form of the name).
class FolderFiles final : public halvorine::cli::Ends {
public:
    FolderFiles(const fs::path& recording, Progress& progress) : recording_(recording), progress_(progress) {}

    void say(Message m, std::string_view text) override {
        progress_.screen.say(text);
        if (m != Message::banner && said_.empty()) said_ = first_line(text);
    }

    halvorine::Source* open_input(const std::string& name) override {
        const fs::path folder = recording_.parent_path();
        input_.emplace(in_folder(folder, name));
        if (!input_->is_open()) return nullptr;
        progress_.total = input_->size().value_or(0);
        progress_.show(true);
        counted_.emplace(*input_, progress_);
        return &*counted_;
    }

    // Only the folder's own file: never through a link to another place,
    // into a pipe, or into a file that has other names elsewhere.
    halvorine::Sink* open_output(const std::string& name) override {
        const std::string path = in_folder(recording_.parent_path(), name);
        output_.emplace(path, *input_, true);
        if (!output_->is_open()) return nullptr;
        if (const auto id = output_->identity()) {
            claim_ = Claim{*id, input_->identity(), path, halvorine::utf8_name(recording_)};
        }
        return &*output_;
    }

    bool close_output() override { return output_->close(); }

    // The first line said after the banner.
    const std::string& said() const { return said_; }
    // The output this run wrote, once opened.
    const std::optional<Claim>& claim() const { return claim_; }

private:
    const fs::path& recording_;
    Progress& progress_;
    std::optional<Claim> claim_;
    std::optional<halvorine::FileSource> input_;
    std::optional<Counted> counted_;
    std::optional<halvorine::FileSink> output_;
    std::string said_;
};

// Everything one window converts: its arguments or the selection handed
// over, and the recordings under the folders among them. Each path is listed
// as it joins, folders walked, before any of them is converted, so that the
// count of files is known and outputs written meanwhile are not met in a
// listing. A file or folder reached twice (a folder and a
// file in it, one folder given twice, a folder mounted inside itself) is
// taken once.
class Batch {
public:
    void add(const fs::path& path) {
        const auto kind = halvorine::kind_of(path);
        if (!kind) {
            note(Message::drop_missing, path);
        } else if (kind == halvorine::EntryKind::folder) {
            // What was given is taken as it is, a link or a hidden folder
            // included; only what the walk finds inside is judged.
            if (first_time(path)) walk(path);
        } else {
            push(path);
        }
    }

    // Items chosen that no path leads to, which cannot be converted.
    void without_path(std::size_t count) {
        items_.push_back({false, {}, message_text(Message::drop_no_path, {std::to_string(count)})});
    }

    // Converts the next file, or says the next note; false when none is left.
    bool next() {
        if (next_ == items_.size()) return false;
        const Item& item = items_[next_++];
        if (!item.file) {
            screen_.say(item.note);
            fail(message_text(Message::drop_failed_note, {first_line(item.note)}));
        } else {
            convert(item.path);
        }
        return true;
    }

    // The summary; true when every file converted.
    bool finish() {
        screen_.say(Message::drop_summary, {std::to_string(converted_), std::to_string(failures_.size())});
        for (const auto& line : failures_) screen_.say(line);
        std::string kinds;
        for (const auto& [m, n] : {std::pair{Message::drop_skipped_links, skipped_links_},
                                   std::pair{Message::drop_skipped_hidden, skipped_hidden_},
                                   std::pair{Message::drop_skipped_other, skipped_other_}}) {
            if (n == 0) continue;
            if (!kinds.empty()) kinds += ", ";
            kinds += message_text(m, {std::to_string(n)});
        }
        const std::size_t skipped = skipped_links_ + skipped_hidden_ + skipped_other_;
        if (skipped != 0) screen_.say(Message::drop_skipped, {std::to_string(skipped), kinds});
        return failures_.empty();
    }

    Screen& screen() { return screen_; }

private:
    struct Item {
        bool file;
        fs::path path;
        std::string note;  // what is said instead, for what is no file to convert
    };

    // False when `path` leads to a file or folder this batch has met. Some
    // network and FUSE file systems number no file: 0 is never a match.
    bool first_time(const fs::path& path) {
        const auto id = halvorine::identity_of(halvorine::utf8_name(path));
        return !id || (id->number == 0 && id->high == 0) || seen_.insert({id->device, id->number, id->high}).second;
    }

    void push(const fs::path& file) {
        if (!first_time(file)) return;
        items_.push_back({true, file, {}});
        ++files_;
    }
    void note(Message m, const fs::path& path) {
        items_.push_back({false, path, message_text(m, {shown_name(halvorine::utf8_name(path))})});
    }
    void fail(std::string line) { failures_.push_back(std::move(line)); }

    // A refusal said in the recording's place and listed under the summary.
    void refuse(Message m, std::initializer_list<std::string_view> args) {
        const std::string refusal = message_text(m, args);
        screen_.say(refusal);
        fail(message_text(Message::drop_failed_note, {first_line(refusal)}));
    }

    void convert(const fs::path& path) {
        const std::size_t k = ++converting_;
        const std::string name = halvorine::utf8_name(path.filename());
        const std::string recording = halvorine::utf8_name(path);
        if (const auto output = halvorine::cli::output_name(name)) {
            const std::string output_path = in_folder(path.parent_path(), *output);
            // A folder from an archive or another machine may hold a link, a
            // pipe or a second name of a file elsewhere where an output goes.
            if (!halvorine::own_file_or_missing(output_path)) {
                refuse(Message::drop_not_own_file, {shown_name(recording), shown_name(output_path)});
                return;
            }
            if (const Claim* earlier = claimant(output_path, path)) {
                refuse(Message::drop_clash,
                       {shown_name(recording), shown_name(earlier->output_name), shown_name(earlier->recording)});
                return;
            }
        }
        Progress progress{screen_, k, files_, 0};
        FolderFiles files(path, progress);
        if (halvorine::cli::run_one(name, files, blocks_) == 0) {
            ++converted_;
            // Only a conversion claims its output: a later recording of the
            // same name makes good what a failed one emptied.
            if (files.claim()) claims_.push_back(*files.claim());
        } else {
            fail(message_text(Message::drop_failed_run, {shown_name(recording), shown_name(files.said())}));
        }
    }

    // The other recording of this batch whose output `output` already is,
    // told by the file system, which knows when two names are one file.
    const Claim* claimant(const std::string& output, const fs::path& recording) const {
        const auto id = halvorine::identity_of(output);
        if (!id) return nullptr;
        for (const auto& claim : claims_) {
            if (claim.output != *id) continue;
            const auto input = halvorine::identity_of(halvorine::utf8_name(recording));
            return input && claim.input == input ? nullptr : &claim;
        }
        return nullptr;
    }

    // Counts what the walk passes over, by kind; true for what it takes or
    // walks.
    bool kept(const halvorine::FolderEntry& entry) {
        using halvorine::cli::Entry;
        using halvorine::cli::Verdict;
        using Kind = halvorine::EntryKind;
        const Entry as = entry.kind == Kind::folder ? Entry::folder
                         : entry.kind == Kind::file ? Entry::file
                         : entry.kind == Kind::link ? Entry::link
                                                    : Entry::other;
        switch (halvorine::cli::judge(halvorine::utf8_name(entry.name), as, entry.hidden)) {
            case Verdict::take:
            case Verdict::walk: return true;
            case Verdict::link: ++skipped_links_; break;
            case Verdict::hidden: ++skipped_hidden_; break;
            case Verdict::other: ++skipped_other_; break;
        }
        return false;
    }

    // Lists the recordings in `top`, by name, then those of its folders, by
    // name, folder by folder, on a list of its own rather than the call
    // stack, which a deep tree could exhaust. A folder with none is said
    // to hold none only when all of it could be read, and none of its
    // folders was met before.
    void walk(const fs::path& top) {
        std::size_t found = 0;  // those met before included
        bool whole = true;
        // A folder walked already (given before, or a loop) said its own
        // recordings, or that it had none.
        bool met_before = false;
        std::vector<fs::path> to_walk{top};  // the next at the back
        while (!to_walk.empty()) {
            const fs::path folder = std::move(to_walk.back());
            to_walk.pop_back();
            const auto listing = halvorine::list_folder(folder);
            if (!listing) {
                note(Message::drop_unreadable, folder);
                whole = false;
                continue;
            }
            std::vector<fs::path> files;
            std::vector<fs::path> folders;
            for (const auto& entry : listing->entries) {
                if (!kept(entry)) continue;
                (entry.kind == halvorine::EntryKind::folder ? folders : files).push_back(folder / entry.name);
            }
            std::sort(files.begin(), files.end());
            std::sort(folders.begin(), folders.end(), std::greater<>());
            found += files.size();
            for (const auto& file : files) push(file);
            if (!listing->complete) {
                note(Message::drop_partly_read, folder);
                whole = false;
            }
            for (auto& inner : folders) {
                if (first_time(inner)) {
                    to_walk.push_back(std::move(inner));
                } else {
                    met_before = true;
                }
            }
        }
        if (found == 0 && whole && !met_before) note(Message::drop_no_wav, top);
    }

    Screen screen_;
    std::vector<Item> items_;
    std::size_t next_ = 0;
    std::size_t files_ = 0;       // listed so far
    std::size_t converting_ = 0;  // the file under way, 1 for the first, refused ones counted
    std::set<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>> seen_;  // device and number
    std::vector<Claim> claims_;
    halvorine::Blocks blocks_;
    int converted_ = 0;
    std::size_t skipped_links_ = 0;
    std::size_t skipped_hidden_ = 0;
    std::size_t skipped_other_ = 0;
    std::vector<std::string> failures_;
};

int drop(const std::vector<fs::path>& args) {
    halvorine::prepare_output();
    // Started by COM for a right-click entry: the selection comes by Drop,
    // and the window opens once it has. Explorer calls Drop at once; an
    // activation without one ends here, unseen.
    std::optional<halvorine::Selection> selection;
    if (halvorine::built_for_clicks() && halvorine::started_by_com(args)) {
        selection = halvorine::take_selection(std::chrono::seconds(30));
        if (!selection) return 0;
        // Explorer lists a selection in its own order, focused item first.
        std::sort(selection->paths.begin(), selection->paths.end());
    }
    halvorine::open_console();
    Batch batch;
    if (args.empty() && !selection) {
        batch.screen().say(Message::drop_usage);
#if defined(_WIN32)
        batch.screen().say(Message::drop_usage_windows);
#else
        batch.screen().say(Message::drop_usage_desktop);
#endif
        batch.screen().say(Message::drop_press_key);
        halvorine::wait_for_key();
        return 0;
    }
    for (const auto& path : selection ? selection->paths : args) batch.add(path);
    if (selection && selection->without_path != 0) batch.without_path(selection->without_path);
    while (batch.next()) {
    }
    const bool all_converted = batch.finish();
    batch.screen().say(Message::drop_press_key);
    halvorine::wait_for_key();
    return all_converted ? 0 : 1;
}

}  // namespace

#if defined(_WIN32)
#include "platform/command_line.hpp"

// The arguments from the command line itself: the C runtime's argv takes
// the "E:\" Explorer gives for a drive's root for E:".
int wmain(int, wchar_t**) {
    const auto args = halvorine::own_arguments();
    return drop({args.begin(), args.end()});
}
#else
int main(int argc, char** argv) { return drop({argv + 1, argv + argc}); }
#endif
