#include "cli/batch.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/claims.hpp"
#include "cli/naming.hpp"
#include "cli/sequence.hpp"
#include "convert/blocks.hpp"
#include "platform/file_io.hpp"

namespace halvorine::cli {

namespace {

namespace fs = std::filesystem;

// Where one file of the batch is.
struct Progress {
    Screen& screen;
    std::size_t file = 0;     // 1 for the first
    std::size_t files = 0;    // in the batch
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
class Counted final : public Source {
public:
    Counted(Source& in, Progress& progress) : in_(in), progress_(progress) {}
    std::size_t read(std::span<Byte> into) override {
        const std::size_t got = in_.read(into);
        progress_.done += got;
        progress_.show(false);
        return got;
    }
    [[nodiscard]] bool failed() const override { return in_.failed(); }

private:
    Source& in_;
    Progress& progress_;
};

// The first line of what was said, line ends before it skipped.
std::string first_line(std::string_view text) {
    const auto start = std::min(text.find_first_not_of('\n'), text.size());
    return std::string(text.substr(start, text.find('\n', start) - start));
}

// The console program's run on a file's bare name, its files opened in the
// folder held open, whatever its path has come to lead to.
class FolderFiles final : public Ends {
public:
    FolderFiles(const Folder& folder, const BatchItem& item, Progress& progress)
        : folder_(folder), item_(item), progress_(progress) {}

    void say(Message m, std::string_view text) override {
        progress_.screen.say(text);
        if (m != Message::banner && said_.empty()) said_ = first_line(text);
    }

    // The recording listed, not another file put in its place since.
    Source* open_input(const std::string&) override {
        input_.emplace(folder_.open_input(item_.name, item_.named));
        if (!input_->is_open()) return nullptr;
        input_id_ = input_->identity();
        if (item_.identity && known(*item_.identity) && input_id_ != item_.identity) return nullptr;
        progress_.total = input_->size().value_or(0);
        progress_.show(true);
        counted_.emplace(*input_, progress_);
        return &*counted_;
    }

    // Only the folder's own file: never through a link to another place,
    // into a pipe, or into a file that has other names elsewhere.
    Sink* open_output(const std::string& name) override {
        output_.emplace(folder_.open_output(halvorine::path_from_utf8(name)), *input_);
        if (!output_->is_open()) return nullptr;
        output_id_ = output_->identity();
        return &*output_;
    }

    bool close_output() override { return output_->close(); }

    // The first line said after the banner.
    [[nodiscard]] const std::string& said() const { return said_; }
    [[nodiscard]] const std::optional<FileIdentity>& output_identity() const { return output_id_; }
    [[nodiscard]] const std::optional<FileIdentity>& input_identity() const { return input_id_; }

private:
    const Folder& folder_;
    const BatchItem& item_;
    Progress& progress_;
    std::optional<FileSource> input_;
    std::optional<Counted> counted_;
    std::optional<FileSink> output_;
    std::optional<FileIdentity> input_id_;
    std::optional<FileIdentity> output_id_;
    std::string said_;
};

class Run {
public:
    Run(BatchList& list, Screen& screen) : list_(list), screen_(screen), gone_(list.folders().size()) {}

    bool all() {
        const auto& items = list_.items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].folder == no_folder) {
                say_note(items[i].note);
            } else {
                convert(items[i], i);
            }
        }
        return finish();
    }

private:
    void say_note(std::string_view note) {
        screen_.say(note);
        failures_.push_back(message_text(Message::drop_failed_note, {first_line(note)}));
    }

    void convert(const BatchItem& item, std::size_t index) {
        const std::size_t k = ++converting_;
        for (std::size_t f = item.folder; f != no_folder; f = list_.folders()[f].parent) {
            if (gone_[f]) return;
        }
        std::size_t lost = item.folder;
        const Folder* folder = list_.open(item.folder, &lost);
        if (folder == nullptr) {
            // It listed, so it opened then: said once, for the folder that
            // changed, whose recordings, and those of the folders in it, all
            // go with it.
            if (!gone_[lost]) {
                gone_[lost] = true;
                say_note(message_text(Message::drop_changed,
                                      {shown_name(halvorine::utf8_name(list_.folders()[lost].path))}));
            }
            return;
        }
        const std::string name = halvorine::utf8_name(item.name);
        const std::string recording = shown(item, item.name);
        if (const auto output = output_name(name)) {
            const fs::path output_path = halvorine::path_from_utf8(*output);
            // A folder from an archive or another machine may hold a link, a
            // pipe or a second name of a file elsewhere where an output goes.
            if (!folder->own_file_or_missing(output_path)) {
                refuse(Message::drop_not_own_file, {recording, shown(item, output_path)});
                return;
            }
            if (const Claim* earlier = claims_.claimant(folder->identity_of(output_path, false), item.identity)) {
                // Its own output name: the same file, perhaps in another letter case.
                const BatchItem& first = list_.items()[earlier->item];
                const auto made = output_name(halvorine::utf8_name(first.name)).value_or(*output);
                refuse(Message::drop_clash,
                       {recording, shown(first, halvorine::path_from_utf8(made)), shown(first, first.name)});
                return;
            }
        }
        Progress progress{screen_, k, list_.files(), 0};
        FolderFiles files(*folder, item, progress);
        if (run_one(name, files, blocks_) == 0) {
            ++converted_;
            // Only a conversion claims its output: a later recording of the
            // same name makes good what a failed one emptied.
            claims_.claim(files.output_identity(), {files.input_identity(), index});
        } else {
            failures_.push_back(message_text(Message::drop_failed_run, {recording, shown_name(files.said())}));
        }
    }

    // `name` in the item's folder, as the drop target's own lines show it.
    std::string shown(const BatchItem& item, const fs::path& name) const {
        return shown_name(halvorine::utf8_name(list_.folders()[item.folder].path / name));
    }

    // A refusal said in the recording's place and listed under the summary.
    void refuse(Message m, std::initializer_list<std::string_view> args) { say_note(message_text(m, args)); }

    bool finish() {
        screen_.say(Message::drop_summary, {std::to_string(converted_), std::to_string(failures_.size())});
        for (const auto& line : failures_) screen_.say(line);
        const Skipped& skipped = list_.skipped();
        std::string kinds;
        for (const auto& [m, n] : {std::pair{Message::drop_skipped_links, skipped.links},
                                   std::pair{Message::drop_skipped_hidden, skipped.hidden},
                                   std::pair{Message::drop_skipped_other, skipped.other}}) {
            if (n == 0) continue;
            if (!kinds.empty()) kinds += ", ";
            kinds += message_text(m, {std::to_string(n)});
        }
        const std::size_t all = skipped.links + skipped.hidden + skipped.other;
        if (all != 0) screen_.say(Message::drop_skipped, {std::to_string(all), kinds});
        return failures_.empty();
    }

    BatchList& list_;
    Screen& screen_;
    std::vector<bool> gone_;      // folders moved or replaced since listed
    std::size_t converting_ = 0;  // the file under way, 1 for the first, refused ones counted
    Claims claims_;
    Blocks blocks_;
    std::size_t converted_ = 0;
    std::vector<std::string> failures_;
};

}  // namespace

bool convert_batch(BatchList& list, Screen& screen) { return Run(list, screen).all(); }

}  // namespace halvorine::cli
