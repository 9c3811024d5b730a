#pragma once
// Every word the programs say, in one table. The console program and the
// drop target write all of it to stdout.

#include <initializer_list>
#include <string>
#include <string_view>

namespace halvorine::cli {

enum class Message {
    usage,
    bad_name,
    banner,
    input_not_opened,
    output_not_created,
    format_tag_rejected,
    header_error,
    write_failure,
    read_failure,
    // The drop target's own words, around the runs above.
    drop_usage,
    drop_usage_windows,
    drop_usage_desktop,
    drop_missing,
    drop_no_wav,
    drop_unreadable,
    drop_partly_read,
    drop_no_path,
    drop_not_file,
    drop_changed,
    drop_clash,
    drop_not_own_file,
    drop_summary,
    drop_failed_run,
    drop_failed_note,
    drop_skipped,
    drop_skipped_links,
    drop_skipped_hidden,
    drop_skipped_other,
    drop_listing,
    drop_progress,
    drop_progress_bytes,
    drop_press_key,
};

// The message with its placeholders (%s, %d) filled in order from `args`,
// and its line end when it has one.
std::string message_text(Message m, std::initializer_list<std::string_view> args = {});

}  // namespace halvorine::cli
