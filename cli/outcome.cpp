#include "cli/outcome.hpp"

#include "convert/chunks.hpp"
#include "convert/errors.hpp"
#include "convert/header.hpp"

namespace halvorine::cli {

std::vector<Report> convert_reports(Source& in, Sink& out, Blocks& blocks) {
    std::vector<Report> failure;
    try {
        convert(in, out, blocks);
    } catch (const HeaderError& e) {
        if (e.stage == stage::format_tag) failure.push_back({Message::format_tag_rejected, {}});
        failure.push_back({Message::header_error, std::to_string(e.stage)});
    } catch (const WriteFailure&) {
        failure = {{Message::write_failure, {}}};
    } catch (const ReadFailure&) {
        failure = {{Message::read_failure, {}}};
    }
    return failure;
}

}  // namespace halvorine::cli
