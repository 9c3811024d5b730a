// The drop target. On Windows, Explorer hands it the files dropped on it or
// on its shortcut, as full paths on its command line, or a selection the
// right-click entries were chosen on, through COM (platform/selection.hpp);
// on Linux a file manager starts it from its desktop entry, in a terminal,
// with the files chosen. Each is converted beside itself, in this process,
// as cli/batch.hpp says. Nothing on the way reads the names as anything but
// names: no command interpreter, so none can become a command, and no
// wildcard expansion, so none a pattern. A folder stands for the recordings
// under it.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/batch.hpp"
#include "cli/batch_list.hpp"
#include "cli/messages.hpp"
#include "cli/screen.hpp"
#include "platform/console.hpp"
#include "platform/folder.hpp"
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
    halvorine::cli::Screen screen(halvorine::write_out, halvorine::output_is_terminal());
    if (args.empty() && !selection) {
        screen.say(Message::drop_usage);
#if defined(_WIN32)
        screen.say(Message::drop_usage_windows);
#else
        screen.say(Message::drop_usage_desktop);
#endif
        screen.say(Message::drop_press_key);
        halvorine::wait_for_key();
        return 0;
    }
    // A large folder takes a while to list: the count found so far shows.
    halvorine::cli::BatchList list(halvorine::system_folders(), [&screen](std::size_t found) {
        screen.progress(message_text(Message::drop_listing, {std::to_string(found)}), false);
    });
    for (const auto& path : selection ? selection->paths : args) list.add(path);
    if (selection && selection->without_path != 0) list.without_path(selection->without_path);
    const bool all_converted = halvorine::cli::convert_batch(list, screen);
    screen.say(Message::drop_press_key);
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
