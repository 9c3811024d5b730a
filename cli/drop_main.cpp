// The drop target. On Windows, Explorer hands it the files dropped on it or
// on its shortcut, or the one the right-click entry was chosen on, as full
// paths; on Linux a file manager starts it from its desktop entry, in a
// terminal, with the files chosen. Each is converted in its own folder, in
// this process, exactly as the console program run there on the file's bare
// name. Nothing on the way reads the names as anything but names: no command
// interpreter, so none can become a command, and no wildcard expansion, so
// none a pattern. A folder stands for the recordings under it.

#include <algorithm>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/messages.hpp"
#include "cli/run.hpp"
#include "convert/blocks.hpp"
#include "platform/console.hpp"
#include "platform/paths.hpp"

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

void say(Message m, std::initializer_list<std::string_view> args = {}) {
    halvorine::write_out(halvorine::cli::message_text(m, args));
}

// Whatever the letter case: cameras and older Windows tools write ".WAV".
bool is_wav(const fs::path& name) {
    // A copy: extension() makes a path of its own, gone at the semicolon.
    const auto extension = name.extension().native();
    constexpr std::string_view wav = ".wav";
    if (extension.size() != wav.size()) return false;
    for (std::size_t i = 0; i < wav.size(); ++i) {
        const auto c = extension[i];
        const auto lower = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
        if (lower != wav[i]) return false;
    }
    return true;
}

class Drop {
public:
    explicit Drop(fs::path start) : start_(std::move(start)) {}

    void take(const fs::path& path) {
        std::error_code ec;
        fs::current_path(start_, ec);
        const fs::file_status status = fs::status(path, ec);
        if (status.type() == fs::file_type::not_found) {
            say(Message::drop_missing, {halvorine::utf8_name(path)});
            ++failed_;
        } else if (fs::is_directory(status)) {
            // What was given is taken as it is, a link included; only what
            // the walk finds inside is not followed.
            const int before = converted_ + failed_;
            const bool read = walk(path);
            if (read && converted_ + failed_ == before) {
                say(Message::drop_no_wav, {halvorine::utf8_name(path)});
                ++failed_;
            }
        } else {
            convert(path);
        }
    }

    // The summary; true when every file converted.
    bool finish() const {
        say(Message::drop_summary, {std::to_string(converted_), std::to_string(failed_)});
        if (skipped_ != 0) say(Message::drop_skipped, {std::to_string(skipped_)});
        return failed_ == 0;
    }

private:
    // Converts the file at `path` in its folder. A relative path is taken
    // from `start_`, where the program was started.
    void convert(const fs::path& path) {
        std::error_code ec;
        fs::current_path(start_, ec);
        if (path.has_parent_path()) {
            fs::current_path(path.parent_path(), ec);
            if (ec) {
                say(Message::drop_cannot_enter, {halvorine::utf8_name(path)});
                ++failed_;
                return;
            }
        }
        const auto name = halvorine::utf8_name(path.filename());
        ++(halvorine::cli::convert_named(name, blocks_) == 0 ? converted_ : failed_);
    }

    // Converts the .wav files in `folder`, by name, then those of its
    // folders, by name, folder by folder; false when it cannot be read. The
    // whole listing is read before the first conversion, so that outputs
    // written meanwhile are not met in it.
    bool walk(const fs::path& folder) {
        std::vector<fs::path> files;
        std::vector<fs::path> folders;
        int others = 0;
        std::error_code ec;
        fs::current_path(start_, ec);
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& path = it->path();
            std::error_code type_ec;
            // A link, or what cannot be told, counts as neither a folder nor a file.
            const fs::file_type type =
                halvorine::is_link(path) ? fs::file_type::symlink : it->symlink_status(type_ec).type();
            if (!type_ec && type == fs::file_type::directory) {
                folders.push_back(path);
            } else if (!type_ec && type == fs::file_type::regular && is_wav(path.filename())) {
                files.push_back(path);
            } else {
                ++others;
            }
        }
        if (ec) {
            say(Message::drop_unreadable, {halvorine::utf8_name(folder)});
            ++failed_;
            return false;
        }
        skipped_ += others;
        std::sort(files.begin(), files.end());
        std::sort(folders.begin(), folders.end());
        for (const auto& file : files) convert(file);
        for (const auto& inner : folders) walk(inner);
        return true;
    }

    fs::path start_;
    halvorine::Blocks blocks_;
    int converted_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
};

int drop(const std::vector<fs::path>& paths) {
    halvorine::prepare_output();
    bool all_converted = true;
    if (paths.empty()) {
        say(Message::drop_usage);
    } else {
        std::error_code ec;
        Drop run(fs::current_path(ec));
        for (const auto& path : paths) run.take(path);
        all_converted = run.finish();
    }
    say(Message::drop_press_key);
    halvorine::wait_for_key();
    return all_converted ? 0 : 1;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) { return drop({argv + 1, argv + argc}); }
#else
int main(int argc, char** argv) { return drop({argv + 1, argv + argc}); }
#endif
