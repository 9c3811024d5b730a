// The built program run in a fresh folder: stdout byte for byte, the exit
// status and the output file byte for byte (or its absence).

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/wav_builder.hpp"

namespace {

namespace fs = std::filesystem;
using namespace halvorine::test;

struct Result {
    std::string out;
    int status = -1;
    std::string err;
};

const std::string usage = "Give a single filename as argument to this program. (ex sim.wav)";

std::string banner(const std::string& in, const std::string& out) {
    return "\n Convert " + in + " to Halvorine format (" + out + ")\n\n";
}

// A fmt chunk: 24-bit stereo at 48 kHz unless told otherwise.
Fmt fmt(std::uint16_t tag = 1, std::uint16_t channels = 2, std::uint32_t avg = 288000, std::uint16_t align = 6,
        const Bytes& rest = {24, 0}) {
    Fmt f;
    f.format_tag = tag;
    f.channels = channels;
    f.avg_bytes_per_sec = avg;
    f.block_align = align;
    f.rest = rest;
    return f;
}

// The offset of the first byte where `a` and `b` differ; their common size when equal.
std::size_t first_difference(const Bytes& a, const Bytes& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    return i;
}

Bytes pseudo_random(std::size_t n) {
    Bytes b(n);
    std::uint32_t x = 2463534242u;
    for (auto& v : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<std::uint8_t>(x >> 11);
    }
    return b;
}

std::string env(const char* name, const char* fallback = "") {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

// Set when the program under test is the Windows build.
bool windows_build() { return !env("HALVORINE_CONVERT_WINDOWS").empty(); }

class E2e : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "halvorine-e2e-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        dir_ = root_ / "work";
        fs::create_directory(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path at(const std::string& name) const { return dir_ / name; }

    // Moves the work folder down to a full name of about 200 characters, so
    // that the longer names in it lead past Windows' 260.
    void work_deeper() {
        const std::size_t now = dir_.string().size() + 1;
        if (now >= 200) return;
        dir_ /= std::string(200 - now, 'd');
        ASSERT_TRUE(fs::create_directory(dir_));
    }

    void write(const std::string& name, const Bytes& b) const {
        std::ofstream f(at(name), std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
        ASSERT_TRUE(f.good()) << name;
    }

    Bytes read(const std::string& name) const {
        std::ifstream f(at(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }

    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
        return names;
    }

    // Runs the program with `args` in the work folder. stderr goes to a file
    // outside it; the program must never use it.
    // `file_size_limit`, when set, caps every file the program writes, like a
    // disk that fills up part way.
    Result run(const std::vector<std::string>& args, rlim_t file_size_limit = 0) const {
        if (!windows_build()) return run_once(args, file_size_limit);
        // Under wine, a run that failed on wine's own account is tried once
        // more, on the work folder as it was before; its result then stands.
        const Snapshot before = snapshot();
        Result r = run_once(args, file_size_limit);
        if (wine_fault(r)) {
            restore(before);
            r = run_once(args, file_size_limit);
        }
        return r;
    }

    // What wine itself says when it, not the program, failed: its client lost
    // the wineserver, or the server could not be reached (the messages listed
    // in tests/wine_faults.txt); those runs print nothing. Its loader may also
    // die as the process exits, after the program has done its work
    // ("Inconsistency detected by ld.so: dl-fini.c"), with status 127.
    static bool wine_fault(const Result& r) {
        static const std::vector<std::string> server_gone = [] {
            std::vector<std::string> lines;
            std::ifstream f(HALVORINE_WINE_FAULTS);
            for (std::string line; std::getline(f, line);) lines.push_back(line);
            return lines;
        }();
        if (r.status == 127 && r.err.starts_with("Inconsistency detected by ld.so")) return true;
        return r.out.empty() && std::any_of(server_gone.begin(), server_gone.end(),
                                            [&](const std::string& m) { return r.err.starts_with(m); });
    }

    // Every entry of the work folder, and the bytes of each regular file.
    struct Snapshot {
        std::set<fs::path> entries;
        std::map<fs::path, Bytes> files;
    };

    Snapshot snapshot() const {
        Snapshot s;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            const fs::path name = e.path().lexically_relative(dir_);
            s.entries.insert(name);
            if (e.symlink_status().type() == fs::file_type::regular) s.files[name] = read(name.string());
        }
        return s;
    }

    // Puts the work folder back as `s` found it: what a run added goes, what
    // it changed gets its bytes back (through the same inode, so hard links
    // stay linked). Pipes, devices and links are left as they are.
    void restore(const Snapshot& s) const {
        std::vector<fs::path> added;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            const fs::path name = e.path().lexically_relative(dir_);
            if (!s.entries.contains(name)) added.push_back(name);
        }
        for (const auto& name : added) {
            std::error_code ec;
            fs::remove_all(dir_ / name, ec);  // a folder's contents may already be gone
        }
        for (const auto& [name, bytes] : s.files) {
            if (read(name.string()) != bytes) write(name.string(), bytes);
        }
    }

    Result run_once(const std::vector<std::string>& args, rlim_t file_size_limit) const {
        return finish(start(args, file_size_limit));
    }

    // A run of the program under way: its process, the pipe from its stdout
    // and where its stderr goes.
    struct Started {
        pid_t pid = -1;
        int out = -1;
        std::string err_path;
        std::size_t held = 0;  // bytes put in its stdout before it started
    };

    // With `held`, its stdout starts full: its first write waits until the
    // test reads.
    Started start(const std::vector<std::string>& args, rlim_t file_size_limit = 0, bool held = false) const {
        // HALVORINE_CONVERT_RUNNER runs another build of the program, such
        // as the Windows .exe under wine, named by HALVORINE_CONVERT_EXE.
        std::string runner = env("HALVORINE_CONVERT_RUNNER");
        std::string program = program_.empty() ? env("HALVORINE_CONVERT_EXE", HALVORINE_CONVERT_BIN) : program_;
        std::vector<char*> argv;
        if (!runner.empty()) argv.push_back(runner.data());
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (auto& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string cwd = dir_.string();
        Started run;
        run.err_path = (root_ / ("stderr-" + std::to_string(++runs_))).string();

        int fds[2];
        if (pipe(fds) != 0) return run;
        if (held) {
            const int size = fcntl(fds[1], F_SETPIPE_SZ, 4096);
            const std::string fill(size > 0 ? static_cast<std::size_t>(size) : 0, '.');
            if (size <= 0 || ::write(fds[1], fill.data(), fill.size()) != size) return run;
            run.held = fill.size();
        }
        run.pid = fork();
        if (run.pid == 0) {
            const int err = open(run.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            // An empty stdin: a program that waits for a line gets its end.
            const int in = open("/dev/null", O_RDONLY);
            if (err < 0 || in < 0 || chdir(cwd.c_str()) != 0 || dup2(in, 0) < 0 || dup2(fds[1], 1) < 0 ||
                dup2(err, 2) < 0)
                _exit(126);
            if (in != 0) close(in);
            close(fds[0]);
            close(fds[1]);
            close(err);
            alarm(60);  // outlives exec: a hung program is killed, not waited on forever
            const rlimit limit{file_size_limit, file_size_limit};
            if (file_size_limit != 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        run.out = fds[0];
        return run;
    }

    // Waits for the run to end and tells what it printed and returned.
    static Result finish(const Started& run) {
        Result r;
        if (run.out < 0) return r;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(run.out, buf, sizeof buf);
            if (n > 0) r.out.append(buf, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR) break;
        }
        close(run.out);
        int ws = 0;
        if (run.pid > 0 && waitpid(run.pid, &ws, 0) == run.pid && WIFEXITED(ws)) r.status = WEXITSTATUS(ws);
        std::ifstream e(run.err_path, std::ios::binary);
        r.err.assign(std::istreambuf_iterator<char>(e), std::istreambuf_iterator<char>());
        return r;
    }

    void expect(const Result& r, const std::string& out, int status) const {
        EXPECT_EQ(r.out, out);
        EXPECT_EQ(r.status, status);
        EXPECT_EQ(r.err, "");
    }

    fs::path root_;
    fs::path dir_;
    std::string program_;  // run instead of the program under test when set
    mutable int runs_ = 0;
};

std::string repeated(const std::string& s, std::size_t n) {
    std::string r;
    for (std::size_t i = 0; i < n; ++i) r += s;
    return r;
}

// A terminal's output with its line ends as "\n".
std::string lf_ends(const std::string& terminal) {
    std::string s;
    for (std::size_t i = 0; i < terminal.size(); ++i) {
        if (terminal.compare(i, 2, "\r\n") != 0) s += terminal[i];
    }
    return s;
}

// What stays on the screen once each progress line is cleared: every run of
// "\r" and a text, closed by "\r", spaces and "\r", goes. (std::regex would
// do it in a line, and triple this file's compile time.)
std::string without_progress(const std::string& s) {
    std::string shown;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t end = std::string::npos;  // of the longest run closed from i
        bool text = false;
        for (std::size_t at = i; at + 1 < s.size() && s[at] == '\r' && s[at + 1] != '\r' && s[at + 1] != '\n';) {
            const std::size_t next = std::min(s.find_first_of("\r\n", at + 1), s.size());
            const bool spaces = s.find_first_not_of(' ', at + 1) >= next;
            if (text && spaces && next < s.size() && s[next] == '\r') end = next + 1;
            text = true;
            at = next;
        }
        if (end != std::string::npos) {
            i = end;
        } else {
            shown += s[i++];
        }
    }
    return shown;
}

// Whether `shown` counts "Converting N of `of`" on a line that is then
// overwritten.
bool counts(const std::string& shown, std::size_t of) {
    const std::string tail = " of " + std::to_string(of) + "\r";
    for (std::size_t at = shown.find("Converting "); at != std::string::npos; at = shown.find("Converting ", at + 1)) {
        std::size_t digits = at + 11;
        while (digits < shown.size() && shown[digits] >= '0' && shown[digits] <= '9') ++digits;
        if (digits > at + 11 && shown.compare(digits, tail.size(), tail) == 0) return true;
    }
    return false;
}

const Bytes plain_input = concat({wav_header(), data_chunk(12, counting(12))});
const Bytes plain_output = concat({translated(fmt(), 384000), data_chunk(12, widened(counting(12)))});

TEST_F(E2e, WrongArgumentCountPrintsUsageOnly) {
    write("a.wav", plain_input);
    write("b.wav", plain_input);
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"a.wav", "b.wav"}}) {
        SCOPED_TRACE(args.size());
        expect(run(args), usage, 0);
        EXPECT_EQ(files(), (std::set<std::string>{"a.wav", "b.wav"}));
    }
}

TEST_F(E2e, NameWithoutDotInWindowIsRejected) {
    // The first '.' is looked for among the first 70 characters of the
    // argument, counted in bytes of UTF-8: 35 Cyrillic letters are 70.
    for (const std::string& arg : {std::string("sim"), std::string(70, 'a') + ".wav", std::string(120, 'L') + ".wav",
                                   repeated("я", 35) + ".wav"}) {
        SCOPED_TRACE(arg);
        write(arg, plain_input);
        expect(run({arg}), "File name incorrect\n", 1);
        EXPECT_EQ(files(), std::set<std::string>{arg});
        fs::remove(at(arg));
    }
}

TEST_F(E2e, OutputIsNamedAfterTheFirstDot) {
    const struct {
        std::string arg;
        std::string out;
    } cases[] = {
        {"sim.wav", "halvorine-sim.ddc"},
        {"rec.2024.wav", "halvorine-rec.ddc"},
        {"./sim.wav", "halvorine-.ddc"},
        // Names longer than 79 characters, up to a '.' at position 79.
        {std::string(66, 'c') + ".wav", "halvorine-" + std::string(66, 'c') + ".ddc"},
        {std::string(69, 'c') + ".wav", "halvorine-" + std::string(69, 'c') + ".ddc"},
        {"take." + std::string(120, 'L') + ".wav", "halvorine-take.ddc"},
        // Every script, whatever code page Windows runs in, and the same name
        // as on Linux: the window counts bytes of UTF-8.
        {"запись.wav", "halvorine-запись.ddc"},
        {"録音 2024.wav", "halvorine-録音 2024.ddc"},
        {"Ωmega-take.wav", "halvorine-Ωmega-take.ddc"},
        {"naïve.wav", "halvorine-naïve.ddc"},
        {"ноты 🎵.wav", "halvorine-ноты 🎵.ddc"},
        {repeated("я", 34) + ".wav", "halvorine-" + repeated("я", 34) + ".ddc"},
        // Past 260 characters by itself, through folders.
        {"take.d/" + std::string(100, 'a') + "/" + std::string(100, 'b') + "/x.wav", "halvorine-take.ddc"},
    };
    work_deeper();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arg);
        fs::create_directories(at(c.arg).parent_path());
        write(c.arg, plain_input);
        expect(run({c.arg}), banner(c.arg, c.out), 0);
        EXPECT_EQ(read(c.out), plain_output);
    }
}

TEST_F(E2e, FilesThatCannotBeOpened) {
    expect(run({"nope.wav"}), banner("nope.wav", "halvorine-nope.ddc") + "Could not open nope.wav", 1);
    EXPECT_TRUE(files().empty());

    fs::create_directory(at("dir"));
    write("dir/sim.wav", plain_input);
    expect(run({"dir/sim.wav"}),
           banner("dir/sim.wav", "halvorine-dir/sim.ddc") + "Could not open halvorine-dir/sim.ddc\n", 1);
    EXPECT_EQ(files(), std::set<std::string>{"dir"});
}

TEST_F(E2e, OutputThatIsTheInputLeavesBothUntouched) {
    write("x.wav", plain_input);
    fs::create_symlink("x.wav", at("halvorine-x.ddc"));
    write("y.wav", plain_input);
    fs::create_hard_link(at("y.wav"), at("halvorine-y.ddc"));
    for (const std::string name : {"x", "y"}) {
        SCOPED_TRACE(name);
        const std::string out = "halvorine-" + name + ".ddc";
        expect(run({name + ".wav"}), banner(name + ".wav", out) + "Could not open " + out + "\n", 1);
        EXPECT_EQ(read(name + ".wav"), plain_input);
    }
    // Named pipes and devices are files too: a pipe linked to itself would be
    // read back as it is written, a device written while being read.
    ASSERT_EQ(mkfifo(at("p.wav").c_str(), 0644), 0);
    fs::create_hard_link(at("p.wav"), at("halvorine-p.ddc"));
    fs::create_symlink("/dev/null", at("n.wav"));
    fs::create_symlink("/dev/null", at("halvorine-n.ddc"));
    const int writer = open(at("p.wav").c_str(), O_RDWR);  // so that opening the pipe does not wait
    ASSERT_GE(writer, 0);
    for (const std::string name : {"p", "n"}) {
        SCOPED_TRACE(name);
        const std::string out = "halvorine-" + name + ".ddc";
        expect(run({name + ".wav"}), banner(name + ".wav", out) + "Could not open " + out + "\n", 1);
    }
    close(writer);
}

// Runs that meet on one output (rec.a.wav and rec.b.wav both name
// halvorine-rec.ddc): the one that comes second leaves the file to the first,
// for as long as the first one runs.
TEST_F(E2e, OutputHeldByAnotherRunIsLeftAlone) {
    const std::string refused = "Could not open halvorine-h.ddc\n";
    write("h.b.wav", plain_input);
    // The first run reads a named pipe, so it lasts while the test holds it.
    const Bytes samples = pseudo_random(300001);
    const Bytes first = concat({wav_header(), data_chunk(0, samples)});
    const std::size_t head = wav_header().size() + 8 + 12;
    ASSERT_EQ(mkfifo(at("h.a.wav").c_str(), 0644), 0);
    const int pipe_in = open(at("h.a.wav").c_str(), O_RDWR | O_CLOEXEC);  // the run must see its end
    ASSERT_GE(pipe_in, 0);
    ASSERT_EQ(::write(pipe_in, first.data(), head), static_cast<ssize_t>(head));
    const Started a = start({"h.a.wav"});
    // Once the header is through, the output is the first run's.
    const std::uintmax_t header_out = translated(fmt(), 384000).size();
    for (int i = 0; i < 600; ++i) {
        std::error_code ec;  // no file yet: an error, and a size of -1
        const std::uintmax_t size = fs::file_size(at("halvorine-h.ddc"), ec);
        if (!ec && size >= header_out) break;
        usleep(50'000);
    }
    expect(run({"h.b.wav"}), banner("h.b.wav", "halvorine-h.ddc") + refused, 1);
    for (std::size_t done = head; done < first.size();) {
        const ssize_t n = ::write(pipe_in, first.data() + done, first.size() - done);
        ASSERT_GT(n, 0);
        done += static_cast<std::size_t>(n);
    }
    close(pipe_in);
    expect(finish(a), banner("h.a.wav", "halvorine-h.ddc"), 0);
    EXPECT_EQ(read("halvorine-h.ddc"), concat({translated(fmt(), 384000), data_chunk(0, widened(samples))}));

    // Here the test holds the lock, as a run does; a device is shared, never
    // locked. Windows keeps other writers out by share mode instead, which
    // only a Windows process can hold.
    if (windows_build()) return;
    fs::create_symlink("/dev/null", at("halvorine-n.ddc"));
    write("n.wav", plain_input);
    const Bytes held = read("halvorine-h.ddc");
    const struct {
        std::string name;
        std::string out;
        std::string printed;
        int status;
    } cases[] = {
        {"h.b", "halvorine-h.ddc", refused, 1},
        {"n", "halvorine-n.ddc", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string& out = c.out;
        // A shared lock keeps out the program's exclusive one all the same,
        // and does not collide with other tests locking /dev/null meanwhile.
        const int lock = open(at(out).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(lock, 0);
        ASSERT_EQ(flock(lock, LOCK_SH | LOCK_NB), 0);
        expect(run({c.name + ".wav"}), banner(c.name + ".wav", out) + c.printed, c.status);
        close(lock);
    }
    EXPECT_EQ(read("halvorine-h.ddc"), held);
    // Once the other run is over, the output is ours.
    expect(run({"h.b.wav"}), banner("h.b.wav", "halvorine-h.ddc"), 0);
    EXPECT_EQ(read("halvorine-h.ddc"), plain_output);
}

TEST_F(E2e, FullDiskIsAWriteFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", at("halvorine-x.ddc"));
    write("x.wav", plain_input);
    const std::string failed = banner("x.wav", "halvorine-x.ddc") + "\nERROR: Failed to write output file.\n";
    expect(run({"x.wav"}), failed, 1);
    if (windows_build()) return;

    // A disk that fills up in the middle of the sample data: what did fit is
    // the start of the conversion, and the run still fails.
    fs::remove(at("halvorine-x.ddc"));
    const Bytes samples = pseudo_random(3'000'000);
    write("x.wav", concat({wav_header(), data_chunk(0, samples)}));
    const rlim_t room = 1'500'001;
    expect(run({"x.wav"}, room), failed, 1);
    const Bytes want = concat({translated(fmt(), 384000), data_chunk(0, widened(samples))});
    const Bytes got = read("halvorine-x.ddc");
    EXPECT_EQ(got.size(), room);
    EXPECT_EQ(first_difference(got, want), got.size());
}

TEST_F(E2e, ExistingOutputIsOverwritten) {
    write("halvorine-x.ddc", pseudo_random(5000));
    write("x.wav", plain_input);
    expect(run({"x.wav"}), banner("x.wav", "halvorine-x.ddc"), 0);
    EXPECT_EQ(read("halvorine-x.ddc"), plain_output);

    // Even when the input then proves not to be a WAV file.
    write("halvorine-y.ddc", pseudo_random(5000));
    write("y.wav", concat({Bytes{'R', 'I', 'F', 'X'}, Bytes(40)}));
    expect(run({"y.wav"}), banner("y.wav", "halvorine-y.ddc") + "Error in .wav file header [1]", 1);
    EXPECT_EQ(read("halvorine-y.ddc"), Bytes{});
}

TEST_F(E2e, HeaderErrorsLeaveWhatWasWrittenBeforeThem) {
    const Bytes head = translated(fmt(), 384000);
    const Bytes fmt_ids = concat({Bytes{'R', 'I', 'F', 'F', 0xE8, 0x03, 0, 0}, Bytes{'W', 'A', 'V', 'E'},
                                  Bytes{'f', 'm', 't', ' ', 20, 0, 0, 0}});
    Bytes short_list = wav_header();
    put(short_list, "LIST");
    put32(short_list, 20);
    put(short_list, counting(5));

    const struct {
        const char* name;
        Bytes input;
        std::string message;
        Bytes output;
    } cases[] = {
        {"empty input", {}, "Error in .wav file header [0]", {}},
        {"not RIFF", concat({Bytes{'R', 'I', 'F', 'X'}, Bytes(40)}), "Error in .wav file header [1]", {}},
        {"wFormatTag 2", wav_header(fmt(2)), "Unknown wFormatTag.Error in .wav file header [5]", fmt_ids},
        {"three channels", wav_header(fmt(1, 3)), "Error in .wav file header [6]",
         concat({fmt_ids, Bytes{1, 0}})},
        {"nothing after fmt", wav_header(), "Error in .wav file header [12]", head},
        {"nothing after rcvr", concat({wav_header(), chunk("rcvr", counting(41))}),
         "Error in .wav file header [13]", head},
        {"short rcvr", concat({wav_header(), Bytes{'r', 'c', 'v', 'r', 50, 0, 0, 0}, counting(10)}),
         "Error in .wav file header [13]", head},
        {"no data size", concat({wav_header(), Bytes{'d', 'a', 't', 'a'}}), "Error in .wav file header [25]",
         concat({head, Bytes{'d', 'a', 't', 'a'}})},
        {"short LIST", short_list, "Error in .wav file header [25]",
         concat({head, Bytes{'L', 'I', 'S', 'T', 20, 0, 0, 0}, counting(5)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write("x.wav", c.input);
        expect(run({"x.wav"}), banner("x.wav", "halvorine-x.ddc") + c.message, 1);
        EXPECT_EQ(read("halvorine-x.ddc"), c.output);
    }
}

TEST_F(E2e, ConvertsWholeRecordings) {
    const Bytes list = concat({chunk("LIST", counting(9, 0x40)), Bytes{0x00}});  // odd: pad byte follows
    const Bytes fact = chunk("fact", Bytes{0x10, 0x27, 0, 0});
    struct Case {
        const char* name;
        Fmt fmt;
        std::uint32_t avg_out;
        Bytes before_in;   // chunks between fmt and data in the input
        Bytes before_out;  // and what must be left of them
        Bytes samples;
        std::int64_t data_size = -1;  // the declared size; by default the real one
    };
    const std::vector<Case> cases = {
        {"data right after fmt", fmt(), 384000, {}, {}, counting(30)},
        {"no samples", fmt(), 384000, {}, {}, {}},
        {"one trailing byte dropped", fmt(), 384000, {}, {}, counting(7)},
        {"two trailing bytes dropped", fmt(), 384000, {}, {}, counting(8)},
        {"data size ignored", fmt(), 384000, {}, {}, counting(12), 6},
        {"empty rcvr", fmt(), 384000, chunk("rcvr", {}), {}, counting(9)},
        {"odd rcvr without pad", fmt(), 384000, chunk("rcvr", counting(41)), {}, counting(9)},
        {"rcvr of 104", fmt(), 384000, chunk("rcvr", counting(104)), {}, counting(9)},
        {"rcvr of 105", fmt(), 384000, chunk("rcvr", counting(105)), {}, counting(9)},
        {"rcvr of 5000", fmt(), 384000, chunk("rcvr", pseudo_random(5000)), {}, counting(9)},
        {"two rcvr", fmt(), 384000, concat({chunk("rcvr", counting(41)), chunk("rcvr", counting(104))}), {},
         counting(9)},
        {"other chunks copied", fmt(), 384000, concat({fact, chunk("rcvr", counting(7)), list}),
         concat({fact, list}), counting(9)},
        {"16-bit stereo", fmt(1, 2, 192000, 4, {16, 0}), 256000, {}, {}, counting(10)},
        {"rate beyond 2^29", fmt(1, 2, 600000000), 800000000, {}, {}, counting(3)},
        {"rate clamped", fmt(1, 2, 3221225472u), 4294967295u, {}, {}, counting(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto size = static_cast<std::uint32_t>(c.data_size >= 0 ? c.data_size
                                                                      : static_cast<std::int64_t>(c.samples.size()));
        write("x.wav", concat({wav_header(c.fmt), c.before_in, data_chunk(size, c.samples)}));
        expect(run({"x.wav"}), banner("x.wav", "halvorine-x.ddc"), 0);
        EXPECT_EQ(read("halvorine-x.ddc"),
                  concat({translated(c.fmt, c.avg_out), c.before_out, data_chunk(size, widened(c.samples))}));
    }
}

TEST_F(E2e, LargeInputIsWidenedExactly) {
    // Several 768 KiB blocks and a ragged end: 2 trailing bytes.
    const Bytes samples = pseudo_random(4 * 786432 + 100001);
    write("big.wav", concat({wav_header(), chunk("rcvr", counting(41)), data_chunk(123, samples)}));
    expect(run({"big.wav"}), banner("big.wav", "halvorine-big.ddc"), 0);
    const Bytes out = read("halvorine-big.ddc");
    const Bytes want = concat({translated(fmt(), 384000), data_chunk(123, widened(samples))});
    EXPECT_EQ(out.size(), want.size());
    EXPECT_EQ(first_difference(out, want), want.size());
}

TEST_F(E2e, ReadsFromANamedPipe) {
    ASSERT_EQ(mkfifo(at("pipe.wav").c_str(), 0644), 0);
    const Bytes samples = pseudo_random(300001);  // well beyond a pipe's buffer
    const Bytes input = concat({wav_header(), chunk("rcvr", counting(104)), data_chunk(0, samples)});
    // The writer holds the pipe before the program starts: wine reads a pipe
    // that no writer holds yet as an empty input.
    const int fd = open(at("pipe.wav").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const pid_t writer = fork();
    if (writer == 0) {
        for (std::size_t done = 0; done < input.size();) {
            const ssize_t n = ::write(fd, input.data() + done, input.size() - done);
            if (n <= 0) _exit(1);
            done += static_cast<std::size_t>(n);
        }
        _exit(0);
    }
    close(fd);
    ASSERT_GT(writer, 0);
    const Result r = run({"pipe.wav"});
    kill(writer, SIGKILL);  // in case the program never opened the pipe
    waitpid(writer, nullptr, 0);
    expect(r, banner("pipe.wav", "halvorine-pipe.ddc"), 0);
    const Bytes want = concat({translated(fmt(), 384000), data_chunk(0, widened(samples))});
    EXPECT_EQ(first_difference(read("halvorine-pipe.ddc"), want), want.size());
}

TEST_F(E2e, UnusableFilesEndWithStatusOne) {
    const std::string x = banner("x.wav", "halvorine-x.ddc");
    const Bytes riff = {'R', 'I', 'F'};
    for (std::ptrdiff_t n = 0; n <= 3; ++n) {  // too short for "RIFF"
        write("x.wav", Bytes(riff.begin(), riff.begin() + n));
        expect(run({"x.wav"}), x + "Error in .wav file header [0]", 1);
        EXPECT_EQ(read("halvorine-x.ddc"), Bytes{});
    }
    // A folder opens on POSIX, then cannot be read; Windows will not open it.
    fs::create_directory(at("d.wav"));
    expect(run({"d.wav"}),
           banner("d.wav", "halvorine-d.ddc") +
               (windows_build() ? "Could not open d.wav" : "Error in .wav file header [0]"),
           1);

    write("x.wav", plain_input);
    fs::remove(at("halvorine-x.ddc"));
    fs::create_directory(at("halvorine-x.ddc"));
    expect(run({"x.wav"}), x + "Could not open halvorine-x.ddc\n", 1);
    EXPECT_EQ(read("x.wav"), plain_input);
}

// Where the shell leaves wildcards alone (Windows), the program expands them:
// one match is converted, several are too many arguments.
TEST_F(E2e, WildcardsExpandWhereTheShellDoesNot) {
    if (!windows_build()) GTEST_SKIP() << "the shell expands wildcards here";
    for (const std::string name : {"x", "запись", "録音 2024", "Ωmega-take", "naïve"}) {
        SCOPED_TRACE(name);
        write(name + ".wav", plain_input);
        expect(run({"*.wav"}), banner(name + ".wav", "halvorine-" + name + ".ddc"), 0);
        EXPECT_EQ(read("halvorine-" + name + ".ddc"), plain_output);
        fs::remove(at(name + ".wav"));
    }
    write("x.wav", plain_input);
    write("запись.wav", plain_input);
    expect(run({"*.wav"}), usage, 0);
}

// Windows without a console: the drop target, installed, started as
// Explorer starts it for a drop on its shortcut (tests/start_command.cpp, no
// command interpreter): with one file's full path, and with every path at
// once, quoted only when it holds a space. Each file converts next to itself as the console program converts
// it there, a failure is said and the next file goes on, and no name is read
// as a command (a cmd.exe on the way would make the folder "marker") or as a
// pattern (which would convert take1.wav). Dropped together, recordings
// whose outputs are one file, letter case aside, convert only the first;
// every failure is listed under the summary.
TEST_F(E2e, DropTargetConvertsEachFileInItsOwnFolder) {
    const std::string verb = env("HALVORINE_DROP_VERB");
    if (verb.empty()) GTEST_SKIP() << "needs the installed drop target under wine (tools/windows-check.sh)";
    program_ = env("HALVORINE_START_COMMAND");
    const std::string drop = "\"" + env("HALVORINE_DROP_EXE") + "\"";
    const auto path_of = [this](const std::string& name) {
        std::string s = "Z:" + at("папка/" + name).string();
        std::replace(s.begin(), s.end(), '/', '\\');
        return s;
    };
    const auto ending = [](int converted, const std::vector<std::string>& failures) {
        std::string listed;
        for (const auto& line : failures) listed += "  " + line + "\n";
        return "\n" + std::to_string(converted) + " converted, " + std::to_string(failures.size()) + " failed\n" +
               listed + "Press a key to close this window.\n";
    };
    fs::create_directories(at("папка/folder.wav"));
    write("папка/take1.wav", plain_input);

    struct Case {
        std::string name;
        std::string output;  // none when nothing is opened
        std::string said;    // after the banner, or instead of it; converted when empty
        std::string clash = {};  // the case before it whose output it names, dropped together
    };
    std::vector<Case> cases = {
        {"rec 1.wav", "halvorine-rec 1.ddc", ""},       {"запись.wav", "halvorine-запись.ddc", ""},
        {"録音.wav", "halvorine-録音.ddc", ""},          {"rec.2024.wav", "halvorine-rec.ddc", ""},
        {"a&md,marker&.wav", "halvorine-a&md,marker&.ddc", ""}, {"take(1).wav", "halvorine-take(1).ddc", ""},
        {"take[1].wav", "halvorine-take[1].ddc", ""},
        {"notes.txt", "halvorine-notes.ddc", "Error in .wav file header [1]"},
        {"folder.wav", "", "\nNot converted: " + path_of("folder.wav") + " holds no .wav file.\n"},
        {"missing.wav", "", "\nNot converted: " + path_of("missing.wav") + " was not found.\n"},
        {"take.1.wav", "halvorine-take.ddc", ""},
        {"take.2.wav", "halvorine-take.ddc", "", "take.1.wav"},
        {"TAKE.3.wav", "halvorine-TAKE.ddc", "", "take.1.wav"}};
    for (const char c : std::string("^,;=%!'")) {
        cases.push_back({std::string("x") + c + "y.wav", std::string("halvorine-x") + c + "y.ddc", ""});
    }
    // The output beside its input, as the Linux build writes it; then gone,
    // for the next run.
    const auto output_checked = [this](const Case& c) {
        if (c.output.empty()) return;
        EXPECT_EQ(read("папка/" + c.output), c.said.empty() ? plain_output : Bytes{}) << c.name;
        fs::remove(at("папка/" + c.output));
    };

    // A failure as listed: the first line said for it, after its path when
    // its run said it.
    const auto listed = [&](const Case& c, const std::string& said) {
        const std::string first = said.substr(said.find_first_not_of('\n'));
        return said.starts_with("\n") ? first.substr(0, first.find('\n'))
                                      : path_of(c.name) + ": " + first.substr(0, first.find('\n'));
    };

    std::string all_said;
    std::string all_paths;
    std::vector<std::string> all_failures;
    int converted = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes input = c.said.empty() ? plain_input : Bytes{'n', 'o', 't', 'e', 's'};
        if (!c.output.empty()) write("папка/" + c.name, input);
        const std::string said = (c.output.empty() ? "" : banner(c.name, c.output)) + c.said;
        const std::string path = path_of(c.name);
        std::string command = verb;
        command.replace(command.find("%1"), 2, path);
        const auto failures = c.said.empty() ? std::vector<std::string>{} : std::vector{listed(c, c.said)};
        expect(run({command}), said + ending(c.said.empty(), failures), c.said.empty() ? 0 : 1);
        output_checked(c);
        all_paths += " " + (path.find(' ') == std::string::npos ? path : "\"" + path + "\"");
        if (!c.clash.empty()) {
            const std::string refusal = "\nNot converted: " + path + " would replace " + path_of("halvorine-take.ddc") +
                                        ", already made from " + path_of(c.clash) + ".\n";
            all_said += refusal;
            all_failures.push_back(listed(c, refusal));
            continue;
        }
        all_said += said;
        if (!c.said.empty()) all_failures.push_back(listed(c, c.said));
        converted += c.said.empty();
    }
    expect(run({drop + all_paths}), all_said + ending(converted, all_failures), 1);
    for (const auto& c : cases) {
        if (c.clash.empty()) output_checked(c);
        else EXPECT_FALSE(fs::exists(at("папка/" + c.output))) << c.name;  // the first's is checked and gone
    }
    EXPECT_FALSE(fs::exists(at("папка/marker")) || fs::exists(at("marker")));
    EXPECT_FALSE(fs::exists(at("папка/halvorine-take1.ddc")));
    EXPECT_EQ(files(), std::set<std::string>{"папка"});

    // Started with no file (a double click), it says what it is for.
    expect(run({drop}),
           "Converts WAV recordings to the Halvorine format (.ddc), each next to its recording.\n"
           "Drop .wav files on this program or its shortcut, or right-click them and choose "
           "\"Convert to Halvorine (.ddc)\".\nPress a key to close this window.\n",
           0);
}

// The drop target given folders (here natively; tools/windows-check.sh tests
// the installed Windows one above): every .wav under a folder, any letter
// case, a folder's files by name before its folders by name; links not
// followed; names starting with '.' and the system's trash and folders at a
// card's root passed over unread; each output the console program's for the
// same file, beside it; anything else skipped and counted by kind; a file or
// folder reached twice taken once; an output made twice in one run refused
// to the later recording, whichever spelling leads to it, unless the earlier
// failed; an output name that is a link, a pipe or a second name of another
// file refused, and nothing outside written; every failure listed under the
// summary by its first line. In a tree, "x/" is a folder, "x -> y" a link,
// "x = y" a second name of file y, "x |" a named pipe, "bad.wav" no WAV
// file. (tests/batch_test.cpp has the walk's other cases.) On a terminal the progress line
// is rewritten in place and blanked before every other line, which thus comes
// out as in a pipe.
TEST_F(E2e, DropTargetWalksFolders) {
    if (windows_build()) GTEST_SKIP() << "the Windows drop target is tested as installed, above";
    // Another build of the console program (under qemu, say) is no measure
    // for this build's drop target, which each native run tests.
    if (!env("HALVORINE_CONVERT_RUNNER").empty()) GTEST_SKIP() << "the console program is another build's";
    const auto refused = [](const std::string& recording, const std::string& stem, const std::string& earlier) {
        return "Not converted: " + recording + " would replace rec/halvorine-" + stem + ".ddc, already made from " +
               earlier + ".";
    };
    const auto not_own = [](const std::string& recording, const std::string& output) {
        return "Not converted: " + recording + ", as its output " + output +
               " is a link, a pipe, a device or a file with more than one name.";
    };
    const struct {
        std::vector<std::string> tree, args;
        std::vector<std::string> said;  // in order: a file's path for its run's lines, or a message
        int converted;
        std::vector<std::string> failures;  // as listed under the summary
        std::string skipped;                // the line, when there is one
    } cases[] = {
        {{"rec/b.WAV", "rec/a.wav", "rec/z.wav", "rec/notes.txt", "rec/alpha/e.wav", "rec/Sub/c.Wav",
          "rec/Sub/deeper/d.wav", "rec/Sub/x.wav.bak", "rec/empty/"},
         {"rec"},
         {"rec/a.wav", "rec/b.WAV", "rec/z.wav", "rec/Sub/c.Wav", "rec/Sub/deeper/d.wav", "rec/alpha/e.wav"},
         6, {}, "2 skipped: not .wav files 2"},
        {{"out/x.wav", "out/in/y.wav", "rec/a.wav", "rec/to-folder -> ../out", "rec/to-file.wav -> ../out/x.wav"},
         {"rec"}, {"rec/a.wav"}, 1, {}, "2 skipped: links 2"},
        {{"empty/"}, {"empty"}, {"\nNot converted: empty holds no .wav file.\n"}, 0,
         {"Not converted: empty holds no .wav file."}, ""},
        // A pipe named is never opened, so nothing waits on it.
        {{"p.wav |", "rec/a.wav"}, {"p.wav", "rec"}, {"\nNot converted: p.wav is a pipe or a device, not a file.\n", "rec/a.wav"},
         1, {"Not converted: p.wav is a pipe or a device, not a file."}, ""},
        {{"docs/notes.txt", "docs/wav", "docs/in/empty/", "docs/in/x.wav -> /x", "docs/._x.wav"}, {"docs/"},
         {"\nNot converted: docs/ holds no .wav file.\n"}, 0, {"Not converted: docs/ holds no .wav file."},
         "4 skipped: links 1, hidden or system 1, not .wav files 2"},
        // Everything is listed before the first conversion: deep/er's output
        // is not met in it. One recording reached twice converts once.
        {{"one.wav", "rec/bad.wav", "rec/good.rec.wav", "deep/er/two.wav"},
         {"rec", "one.wav", "missing", "deep/er/two.wav", "deep", "./rec"},
         {"rec/bad.wav", "rec/good.rec.wav", "one.wav", "\nNot converted: missing was not found.\n",
          "deep/er/two.wav"},
         3, {"rec/bad.wav: Error in .wav file header [1]", "Not converted: missing was not found."}, ""},
        // A name with a newline: its run's lines as the console program's,
        // its failure on one line.
        {{"rec/a\nb.bad.wav"}, {"rec"}, {"rec/a\nb.bad.wav"}, 0, {"rec/a?b.bad.wav: Error in .wav file header [0]"}, ""},
        // A failed run claims nothing: x.good.wav makes good what x.bad.wav
        // emptied.
        {{"rec/take.1.wav", "rec/take.2.wav", "rec/x.bad.wav", "rec/x.good.wav"}, {"rec", "rec/../rec/take.2.wav"},
         {"rec/take.1.wav", "\n" + refused("rec/take.2.wav", "take", "rec/take.1.wav") + "\n", "rec/x.bad.wav",
          "rec/x.good.wav"},
         2, {refused("rec/take.2.wav", "take", "rec/take.1.wav"), "rec/x.bad.wav: Error in .wav file header [1]"},
         ""},
        // A memory card from a Mac, a Linux desktop and Windows, in a folder
        // from an archive that holds a link, a pipe and a second name of a
        // file outside where outputs go.
        {{"outside/victim", "card/notes.txt", "card/.Trash-1000/files/old.wav", "card/$RECYCLE.BIN/x.wav",
          "card/System Volume Information/x.wav", "card/lost+found/x.wav", "card/Takes/._take.wav",
          "card/Takes/take.wav", "card/Takes/take.edit.bad.wav", "card/Takes/c.wav",
          "card/Takes/halvorine-c.ddc = outside/victim", "card/Takes/take2.wav", "card/Takes/halvorine-take2.ddc |",
          "card/Takes/sub/B.WAV", "card/Takes/sub/halvorine-B.ddc -> ../../../outside/victim"},
         {"card"},
         {"\n" + not_own("card/Takes/c.wav", "card/Takes/halvorine-c.ddc") + "\n", "card/Takes/take.edit.bad.wav",
          "card/Takes/take.wav", "\n" + not_own("card/Takes/take2.wav", "card/Takes/halvorine-take2.ddc") + "\n",
          "\n" + not_own("card/Takes/sub/B.WAV", "card/Takes/sub/halvorine-B.ddc") + "\n"},
         1,
         {not_own("card/Takes/c.wav", "card/Takes/halvorine-c.ddc"),
          "card/Takes/take.edit.bad.wav: Error in .wav file header [1]",
          not_own("card/Takes/take2.wav", "card/Takes/halvorine-take2.ddc"),
          not_own("card/Takes/sub/B.WAV", "card/Takes/sub/halvorine-B.ddc")},
         "9 skipped: links 1, hidden or system 5, not .wav files 3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tree.back());
        for (const auto& e : fs::directory_iterator(dir_)) fs::remove_all(e.path());
        std::map<std::string, Bytes> inputs;
        for (const auto& n : c.tree) {
            const std::size_t arrow = n.find(" -> ");
            const std::size_t same = n.find(" = ");
            const std::string name = n.substr(0, std::min({arrow, same, n.find(" |")}));
            fs::create_directories(at(name).parent_path());
            if (arrow != std::string::npos) {
                fs::create_symlink(n.substr(arrow + 4), at(name));
            } else if (same != std::string::npos) {
                fs::create_hard_link(at(n.substr(same + 3)), at(name));
            } else if (n.ends_with(" |")) {
                ASSERT_EQ(mkfifo(at(name).c_str(), 0644), 0);
            } else if (n.ends_with("/")) {
                fs::create_directory(at(n));
            } else {  // each its own samples, so that an output made from another input shows
                const Bytes samples = counting(3 * (inputs.size() + 1));
                write(n, inputs[n] = n.ends_with("bad.wav") ? samples : concat({wav_header(), data_chunk(0, samples)}));
            }
        }
        // The console program on a copy of each recording, alone in a folder:
        // what the drop target must print and write for it.
        std::string want;
        std::map<std::string, Bytes> made;  // output, bytes
        const fs::path work = dir_;
        for (const auto& said : c.said) {
            const fs::path file = fs::path(said).filename();
            const std::string out = "halvorine-" + file.string().substr(0, file.string().find('.')) + ".ddc";
            if (said.starts_with("\n")) {
                want += said;
                continue;
            }
            dir_ = root_ / "console";
            fs::remove_all(dir_);
            fs::create_directory(dir_);
            fs::copy_file(work / said, dir_ / file);
            want += run({file.string()}).out;
            made[(fs::path(said).parent_path() / out).string()] = read(out);
            dir_ = work;
        }
        want += "\n" + std::to_string(c.converted) + " converted, " + std::to_string(c.failures.size()) + " failed\n";
        for (const auto& failure : c.failures) want += "  " + failure + "\n";
        if (!c.skipped.empty()) want += c.skipped + "\n";
        // The same run on a terminal first, its files then put back.
        std::string on_terminal;
        if (fs::exists("/usr/bin/script")) {
            const Snapshot before = snapshot();
            std::string command = std::string("'") + HALVORINE_DROP_BIN + "'";
            for (const auto& a : c.args) command += " '" + a + "'";
            program_ = "/usr/bin/script";
            on_terminal = run({"-qec", command + " </dev/null", "/dev/null"}).out;
            restore(before);
        }
        program_ = HALVORINE_DROP_BIN;
        const Result piped = run(c.args);
        expect(piped, want + "Press a key to close this window.\n", c.failures.empty() ? 0 : 1);
        program_.clear();
        if (!on_terminal.empty()) {
            const auto listed = std::count_if(c.said.begin(), c.said.end(), [](const std::string& said) {
                return !said.starts_with("\n") || said.find(" would replace ") != std::string::npos ||
                       said.find(", as its output ") != std::string::npos;
            });
            const std::string shown = lf_ends(on_terminal);
            if (listed != 0) {
                EXPECT_TRUE(counts(shown, static_cast<std::size_t>(listed)));
            }
            EXPECT_EQ(without_progress(shown), piped.out);
        }
        // Outputs beside their recordings, no other, and the recordings (and
        // what links and second names lead to) untouched.
        std::map<std::string, Bytes> found;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            const std::string name = e.path().lexically_relative(dir_).string();
            if (e.path().filename().string().starts_with("halvorine-") && e.is_regular_file() && !e.is_symlink() &&
                e.hard_link_count() == 1) {
                found[name] = read(name);
            }
        }
        EXPECT_EQ(found, made);
        for (const auto& [name, bytes] : inputs) EXPECT_EQ(read(name), bytes) << name;
    }

    // Started with no file, it says how it is reached here: no shortcut or
    // right-click, which are Windows'.
    program_ = HALVORINE_DROP_BIN;
    expect(run({}),
           "Converts WAV recordings to the Halvorine format (.ddc), each next to its recording.\n"
           "Open .wav files with \"Convert to Halvorine (.ddc)\" in a file manager, or give it files and "
           "folders in a terminal: halvorine-drop FILE.wav FOLDER...\nPress a key to close this window.\n",
           0);
    program_.clear();
}

// The folders a batch listed, changed while it waits on its first line (its
// stdout full): a folder replaced by a link to another place, and a
// recording by a named pipe. Nothing is written outside, nothing waits on
// the pipe, and each is said.
TEST_F(E2e, DropTargetKeepsToTheFoldersListed) {
    if (windows_build()) GTEST_SKIP() << "the Windows drop target is tested as installed";
    if (!env("HALVORINE_CONVERT_RUNNER").empty()) GTEST_SKIP() << "the console program is another build's";
    const Bytes input = concat({wav_header(), data_chunk(0, counting(30))});
    // The place the link leads holds a recording of the same name.
    for (const char* name : {"rec/a/1.wav", "rec/a/2.wav", "rec/b/3.wav", "outside/3.wav"}) {
        fs::create_directories(at(name).parent_path());
        write(name, input);
    }
    program_ = HALVORINE_DROP_BIN;
    const Started run = start({"rec"}, 0, true);
    program_.clear();
    ASSERT_GT(run.held, 0u);
    // Everything is listed before the first line is written: once the
    // program waits in that write, the swap comes after its listing.
    const std::string writing = std::to_string(SYS_write) + " 0x1 ";
    std::string call;
    while (!call.starts_with(writing)) {
        std::ifstream in("/proc/" + std::to_string(run.pid) + "/syscall");
        if (!std::getline(in, call)) GTEST_SKIP() << "no /proc/PID/syscall here";
        if (!call.starts_with(writing)) usleep(1000);
    }
    fs::rename(at("rec/b"), at("b.old"));
    fs::create_directory_symlink(at("outside"), at("rec/b"));
    fs::rename(at("rec/a/2.wav"), at("2.old"));
    ASSERT_EQ(mkfifo(at("rec/a/2.wav").c_str(), 0644), 0);
    const Result r = finish(run);
    const std::string changed =
        "Not converted: the recordings in the folder rec/b, which was moved or replaced after it was listed.";
    EXPECT_EQ(r.out.substr(std::min(run.held, r.out.size())),
              banner("1.wav", "halvorine-1.ddc") + banner("2.wav", "halvorine-2.ddc") + "Could not open 2.wav\n" +
                  changed + "\n\n1 converted, 2 failed\n  rec/a/2.wav: Could not open 2.wav\n  " + changed +
                  "\nPress a key to close this window.\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::exists(at("rec/a/halvorine-1.ddc")));
    EXPECT_FALSE(fs::exists(at("outside/halvorine-3.ddc")));
    EXPECT_FALSE(fs::exists(at("b.old/halvorine-3.ddc")));
}

}  // namespace
