#include "cli/sequence.hpp"

#include "cli/naming.hpp"
#include "cli/outcome.hpp"

namespace halvorine::cli {

namespace {

void tell(Ends& ends, Message m, std::initializer_list<std::string_view> args = {}) {
    ends.say(m, message_text(m, args));
}

}  // namespace

int run_one(std::string_view argument, Ends& ends, Blocks& blocks) {
    const std::string input_name{argument};
    const auto output_name = cli::output_name(input_name);
    // Nothing is opened before the name passes.
    if (!output_name) {
        tell(ends, Message::bad_name);
        return 1;
    }
    tell(ends, Message::banner, {input_name, *output_name});

    Source* input = ends.open_input(input_name);
    if (input == nullptr) {
        tell(ends, Message::input_not_opened, {input_name});
        return 1;
    }
    Sink* output = ends.open_output(*output_name);
    if (output == nullptr) {
        tell(ends, Message::output_not_created, {*output_name});
        return 1;
    }

    auto failure = convert_reports(*input, *output, blocks);
    // Some file systems report a full disk only when the file is closed. The
    // bytes concerned were written before the step that stopped the run, so
    // their loss is the failure to report.
    if (!ends.close_output()) failure = {{Message::write_failure, {}}};
    for (const auto& report : failure) tell(ends, report.message, {report.arg});
    return failure.empty() ? 0 : 1;
}

}  // namespace halvorine::cli
