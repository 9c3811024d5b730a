// The page's way into the converter: the same naming, messages and core as
// the console program, with the file the user picked as the source and a file
// in the browser's private storage as the sink. The worker script provides
// the functions on Module.halvorineIo that the EM_JS calls below reach; none
// of them may throw into C++, so each reports failure by its return value.

#include <emscripten.h>

#include <cstddef>
#include <string>

#include "cli/messages.hpp"
#include "cli/naming.hpp"
#include "cli/outcome.hpp"

namespace {

using halvorine::Byte;
using halvorine::cli::Message;
using halvorine::cli::message_text;

// Bytes read into `into`: fewer than `size` at the end of the file, or when
// it could not be read (then js_read_failed says so). The conversion waits
// here (Asyncify) while the worker reads the file as a stream into one buffer
// it reuses. The synchronous way (FileReaderSync) makes a new buffer for each
// read, and with the worker's event loop held by the conversion the browser
// frees hardly any of them before it ends: memory grew with the file.
EM_ASYNC_JS(std::size_t, js_read, (Byte * into, std::size_t size), { return await Module.halvorineIo.read(into, size); });
EM_JS(int, js_read_failed, (), { return Module.halvorineIo.readFailed(); });
// 1 when every byte was stored, 0 when not (a full quota included).
EM_JS(int, js_write, (const Byte* from, std::size_t size), { return Module.halvorineIo.write(from, size); });
// 1 when the output was made ready under this name, 0 when it cannot be.
EM_JS(int, js_open_output, (const char* name), { return Module.halvorineIo.openOutput(UTF8ToString(name)); });
// 1 when everything written is stored for good.
EM_JS(int, js_close_output, (), { return Module.halvorineIo.closeOutput(); });
// `banner` is 1 for the banner, 0 for what follows it.
EM_JS(void, js_say, (int banner, const char* text), { Module.halvorineIo.say(banner, UTF8ToString(text)); });

class PickedFile final : public halvorine::Source {
public:
    std::size_t read(std::span<Byte> into) override { return js_read(into.data(), into.size()); }
    [[nodiscard]] bool failed() const override { return js_read_failed() == 1; }
};

class StoredFile final : public halvorine::Sink {
public:
    bool write(std::span<const Byte> bytes) override { return js_write(bytes.data(), bytes.size()) == 1; }
};

void tell(Message m, std::initializer_list<std::string_view> args = {}) {
    js_say(m == Message::banner ? 1 : 0, message_text(m, args).c_str());
}

}  // namespace

// The console program's run() for one picked file, `argument` being its
// name: the same checks in the same order, the same messages, the same
// status. Nothing is written before the name passes.
extern "C" EMSCRIPTEN_KEEPALIVE int halvorine_convert(const char* argument) {
    const std::string input_name = argument;
    const auto output_name = halvorine::cli::output_name(input_name);
    if (!output_name) {
        tell(Message::bad_name);
        return 1;
    }
    tell(Message::banner, {input_name, *output_name});
    if (js_open_output(output_name->c_str()) != 1) {
        tell(Message::output_not_created, {*output_name});
        return 1;
    }
    PickedFile input;
    StoredFile output;
    auto failure = halvorine::cli::convert_reports(input, output);
    if (js_close_output() != 1) failure = {{Message::write_failure, {}}};
    for (const auto& report : failure) tell(report.message, {report.arg});
    return failure.empty() ? 0 : 1;
}
