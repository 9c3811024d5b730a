// The page's way into the converter: the same run sequence as the console
// program, with the file the user picked as the source and, as the sink, a
// file in the browser's private storage, memory, or a folder the user
// chose. The worker script provides the functions on Module.halvorineIo that
// the EM_JS calls below reach; none of them may throw into C++, so each
// reports failure by its return value.

#include <emscripten.h>

#include <cstddef>
#include <string>

#include "cli/messages.hpp"
#include "cli/naming.hpp"
#include "cli/sequence.hpp"

namespace {

using halvorine::Byte;
using halvorine::cli::Message;

// A read may make the conversion wait (Asyncify) for the next part of the
// file; where the part is already there it returns at once, without
// unwinding the converter's stack. The synchronous way to read
// (FileReaderSync) makes a new buffer for each read, and with the worker's
// event loop held by the conversion the browser frees hardly any of them
// before it ends: memory grew with the file. A write, the close and the
// finish may wait too, and return at once the same way, except into a folder
// the user chose: a worker may write there only through a writable stream,
// whose every call is asynchronous. These four are the link's
// ASYNCIFY_IMPORTS.

// Bytes read into `into`: fewer than `size` at the end of the file, or when
// it could not be read (then js_read_failed says so).
EM_JS(std::size_t, js_read, (Byte * into, std::size_t size), {
    return Asyncify.handleSleep((wakeUp) => Module.halvorineIo.settle(Module.halvorineIo.read(into, size), wakeUp));
});
EM_JS(int, js_read_failed, (), { return Module.halvorineIo.readFailed(); });
// 1 when the bytes are taken to be stored, 0 when storing has failed (a full
// quota included).
EM_JS(int, js_write, (const Byte* from, std::size_t size), {
    return Asyncify.handleSleep((wakeUp) => Module.halvorineIo.settle(Module.halvorineIo.write(from, size), wakeUp));
});
// 1 when the output was made ready under this name, 0 when it cannot be.
EM_JS(int, js_open_output, (const char* name), { return Module.halvorineIo.openOutput(UTF8ToString(name)); });
// 1 when everything written is stored (into a chosen folder: written, to be
// kept or discarded by js_finish).
EM_JS(int, js_close_output, (), {
    return Asyncify.handleSleep((wakeUp) => Module.halvorineIo.settle(Module.halvorineIo.closeOutput(), wakeUp));
});
// Once the run's `status` is known: a chosen folder keeps a whole output,
// and nothing of one that failed. 0 when a whole output could not be kept.
EM_JS(int, js_finish, (int status), {
    return Asyncify.handleSleep((wakeUp) => Module.halvorineIo.settle(Module.halvorineIo.finish(status), wakeUp));
});
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

// The picked file, which is open before the run starts, and the output
// wherever the worker writes it.
class PageFiles final : public halvorine::cli::Ends {
public:
    void say(Message m, std::string_view text) override {
        js_say(m == Message::banner ? 1 : 0, std::string(text).c_str());
    }
    halvorine::Source* open_input(const std::string&) override { return &input_; }
    halvorine::Sink* open_output(const std::string& name) override {
        return js_open_output(name.c_str()) == 1 ? &output_ : nullptr;
    }
    bool close_output() override { return js_close_output() == 1; }

private:
    PickedFile input_;
    StoredFile output_;
};

}  // namespace

// The console program's run for one picked file, `argument` being its name.
extern "C" EMSCRIPTEN_KEEPALIVE int halvorine_convert(const char* argument) {
    // Allocated once for all the files the worker converts.
    static halvorine::Blocks blocks;
    PageFiles files;
    const int status = halvorine::cli::run_one(argument, files, blocks);
    if (js_finish(status) == 1 || status != 0) return status;
    // Kept only now, once whole, where the console program's close would
    // have kept it: its failure is the same failure, in the same words.
    files.say(Message::write_failure, halvorine::cli::message_text(Message::write_failure));
    return 1;
}

// The output's name for `argument`, for the page to plan a folder's outputs
// before they are converted; empty where it has none. Called between the
// waits of a conversion in progress, which it leaves alone: it never waits,
// and the stack it uses is its own, below the waiting conversion's.
extern "C" EMSCRIPTEN_KEEPALIVE const char* halvorine_output_name(const char* argument) {
    static std::string name;
    name = halvorine::cli::output_name(argument).value_or("");
    return name.c_str();
}
