// The drop target (Windows): Explorer hands it the files dropped on it or on
// its shortcut, or the one the right-click entry was chosen on, as full
// paths. Each is converted in its own folder, in this process, exactly as
// the console program run there on the file's bare name. Nothing on the way
// reads the names as anything but names: no command interpreter, so none
// can become a command, and no wildcard expansion, so none a pattern.

#if defined(_WIN32)

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>

#include "cli/messages.hpp"
#include "cli/run.hpp"
#include "convert/blocks.hpp"
#include "platform/console.hpp"
#include "platform/utf16.hpp"

// The start-up code takes the arguments as they are: "take[1].wav" stays a
// name.
extern "C" {
int _dowildcard = 0;
}

namespace {

namespace fs = std::filesystem;
using halvorine::cli::Message;

void say(Message m, std::initializer_list<std::string_view> args = {}) {
    halvorine::write_out(halvorine::cli::message_text(m, args));
}

// Converts the file at `path` in its folder; true when it converted. A
// relative path is taken from `start`, where the program was started.
bool convert_in_its_folder(const fs::path& path, const fs::path& start, halvorine::Blocks& blocks) {
    const std::string shown = halvorine::narrow(path.native());
    std::error_code ec;
    fs::current_path(start, ec);
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        say(Message::drop_missing, {shown});
        return false;
    }
    if (fs::is_directory(status)) {
        say(Message::drop_folder, {shown});
        return false;
    }
    if (path.has_parent_path()) {
        fs::current_path(path.parent_path(), ec);
        if (ec) {
            say(Message::drop_cannot_enter, {shown});
            return false;
        }
    }
    return halvorine::cli::convert_named(halvorine::narrow(path.filename().native()), blocks) == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    halvorine::prepare_output();
    int failed = 0;
    if (argc < 2) {
        say(Message::drop_usage);
    } else {
        std::error_code ec;
        const fs::path start = fs::current_path(ec);
        halvorine::Blocks blocks;
        int converted = 0;
        for (int i = 1; i < argc; ++i) {
            ++(convert_in_its_folder(argv[i], start, blocks) ? converted : failed);
        }
        say(Message::drop_summary, {std::to_string(converted), std::to_string(failed)});
    }
    say(Message::drop_press_key);
    halvorine::wait_for_key();
    return failed == 0 ? 0 : 1;
}

#endif  // _WIN32: built for Windows alone
