#include "cli/run.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "cli/messages.hpp"
#include "cli/naming.hpp"
#include "cli/outcome.hpp"
#include "convert/file_io.hpp"

namespace halvorine::cli {

namespace {

// Runs the conversion; the reports to print when it fails, none on success.
std::vector<Report> convert_files(FileSource& input, FileSink& output) {
    std::vector<Report> failure = convert_reports(input, output);
    // Some file systems report a full disk only when the file is closed. The
    // bytes concerned were written before the step that stopped the run, so
    // their loss is the failure to report.
    if (!output.close()) failure = {{Message::write_failure, {}}};
    return failure;
}

}  // namespace

int run(int argc, const char* const* argv) {
    if (argc != 2) {
        say(Message::usage);
        return 0;
    }
    const std::string input_name = argv[1];
    const auto output_name = cli::output_name(input_name);
    if (!output_name) {
        say(Message::bad_name);
        return 1;
    }
    say(Message::banner, {input_name, *output_name});

    FileSource input(input_name);
    if (!input.is_open()) {
        say(Message::input_not_opened, {input_name});
        return 1;
    }
    // A link can make the output another name of the input; FileSink then
    // refuses it rather than truncate the recording we are reading.
    FileSink output(*output_name, input);
    if (!output.is_open()) {
        say(Message::output_not_created, {*output_name});
        return 1;
    }

    const auto failure = convert_files(input, output);
    for (const auto& report : failure) say(report.message, {report.arg});
    return failure.empty() ? 0 : 1;
}

}  // namespace halvorine::cli
