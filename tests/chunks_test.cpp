// The chunk walk and the sample widening on in-memory bytes: what reaches the
// output, the prefix property over every cut of a valid file, and faults.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>

#include "platform/file_io.hpp"
#include "convert/widen.hpp"
#include "tests/convert_harness.hpp"

namespace halvorine::test {
namespace {

const Bytes& header_in() {
    static const Bytes b = wav_header();
    return b;
}

const Bytes& header_out() {
    static const Bytes b = translate_bytes(header_in()).output;
    return b;
}

Bytes odd_list() {  // LIST of odd size followed by its pad byte
    Bytes b = chunk("LIST", counting(7, 0x40));
    b.push_back(0);
    return b;
}

// Most chunk layouts are run end to end; these are the ones that take more
// than one block, and samples that only look like chunks.
TEST(ChunkWalk, LongChunksAndChunksAfterTheData) {
    const Bytes samples = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    const Bytes data6 = concat({data_chunk(6), samples});
    const Bytes data6_out = concat({data_chunk(6), widened(samples)});
    const std::size_t block = Blocks::groups * 3;
    const Bytes three_blocks = counting(3 * block);  // more blocks than the ring holds
    const Bytes ragged = counting(4 * block + 5);    // ends inside a block, 2 bytes dropped
    const Bytes rcvr = chunk("rcvr", counting(1000000));
    const Bytes junk = chunk("JUNK", counting(2000001));  // odd: a pad byte follows
    const struct {
        const char* name;
        Bytes after_fmt;  // input after the fmt chunk
        Bytes expected;   // output after the fmt trailer
        const char* ending;
    } cases[] = {
        {"long rcvr dropped", concat({rcvr, data6}), data6_out, "ok"},
        {"long JUNK copied", concat({junk, Bytes{0}, data6}), concat({junk, Bytes{0}, data6_out}), "ok"},
        {"long rcvr cut short", Bytes(rcvr.begin(), rcvr.end() - 1), {}, "header 13"},
        {"long JUNK cut short", Bytes(junk.begin(), junk.end() - 1), Bytes(junk.begin(), junk.end() - 1), "header 25"},
        {"samples fill whole blocks", data_chunk(0, three_blocks), data_chunk(0, widened(three_blocks)), "ok"},
        {"samples end inside a block", data_chunk(0, ragged), data_chunk(0, widened(ragged)), "ok"},
        {"chunks after data are samples", concat({data6, chunk("LIST", counting(2))}),
         concat({data_chunk(6), widened(concat({samples, chunk("LIST", counting(2))}))}), "ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = convert_bytes(concat({header_in(), c.after_fmt}));
        EXPECT_EQ(out.ending, c.ending);
        EXPECT_EQ(out.output, concat({header_out(), c.expected}));
    }
}

// Counts past two 16-group turns of the word loop and into each of its tails;
// the bytes after the output are left alone.
TEST(Widen, MatchesTheGroupRuleForEveryCount) {
    using Widen = void (*)(const Byte*, std::size_t, Byte*);
    const Widen ways[2] = {widen_groups, widen_groups_by_words};
    std::mt19937 gen(1);
    for (int way = 0; way < 2; ++way) {
        for (std::size_t groups = 0; groups < 40; ++groups) {
            Bytes in(groups * 3);
            for (auto& b : in) b = static_cast<Byte>(gen());
            Bytes out(groups * 4 + 4, 0xCC);
            ways[way](in.data(), groups, out.data());
            EXPECT_EQ(out, concat({widened(in), Bytes(4, 0xCC)})) << way << ' ' << groups;
        }
    }
}

// Every prefix of a valid file converts to a prefix of the whole file's
// conversion, succeeds exactly when it reaches past the data size field, and
// otherwise fails with the code of the step it cuts.
TEST(ChunkWalk, EveryPrefixGivesAPrefixOfTheOutput) {
    const Fmt fmt{.rest = {24, 0, 0, 0}};
    Bytes input = wav_header(fmt);
    struct Region { std::size_t from; const char* ending; };
    std::vector<Region> regions = {{0, "header 0"}, {4, "header 2"}, {12, "header 3"}, {16, "header 4"},
                                   {20, "header 5"}, {22, "header 6"}, {24, "header 7"}, {28, "header 8"},
                                   {32, "header 9"}, {34, "header 11"}, {input.size(), "header 12"}};
    auto add = [&](const Bytes& part, std::initializer_list<Region> marks) {
        for (auto m : marks) regions.push_back({input.size() + m.from, m.ending});
        put(input, part);
    };
    add(chunk("rcvr", counting(11)), {{4, "header 13"}});
    add(odd_list(), {{4, "header 25"}, {odd_list().size() - 1, "header 12"}});
    add(chunk("fact", counting(4)), {{4, "header 25"}, {12, "header 12"}});
    add(chunk("rcvr", {}), {{4, "header 13"}});
    add(data_chunk(9), {{4, "header 25"}, {8, "ok"}});
    put(input, counting(9));

    const auto full = convert_bytes(input);
    ASSERT_EQ(full.ending, "ok");
    for (std::size_t cut = 0; cut <= input.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const auto out = convert_bytes(Bytes(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(cut)));
        const char* expected = regions.front().ending;
        for (const auto& r : regions) if (r.from <= cut) expected = r.ending;
        EXPECT_EQ(out.ending, expected);
        ASSERT_LE(out.output.size(), full.output.size());
        EXPECT_TRUE(std::equal(out.output.begin(), out.output.end(), full.output.begin()));
    }
}

struct SourceBroke {};

// A source that hands out `good` bytes and then fails with an I/O error, or
// throws SourceBroke when told to.
class FailingSource final : public Source {
public:
    FailingSource(Bytes bytes, std::size_t good, bool throws = false)
        : bytes_(std::move(bytes)), good_(good), throws_(throws) {}
    std::size_t read(std::span<Byte> into) override {
        const std::size_t allowed = std::min(into.size(), good_ - given_);
        const std::size_t n = inner_.read(into.first(allowed));
        given_ += n;
        if (n < into.size()) failed_ = given_ == good_;
        if (failed_ && throws_) throw SourceBroke{};
        return n;
    }
    [[nodiscard]] bool failed() const override { return failed_; }

private:
    Bytes bytes_;
    MemorySource inner_{bytes_};
    std::size_t good_;
    std::size_t given_ = 0;
    bool throws_;
    bool failed_ = false;
};

// A sink that takes `room` bytes, then refuses.
class FullSink final : public Sink {
public:
    explicit FullSink(std::size_t room) : room_(room) {}
    bool write(std::span<const Byte> bytes) override {
        const std::size_t n = std::min(bytes.size(), room_ - bytes_.size());
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        return n == bytes.size();
    }
    Bytes bytes_;

private:
    std::size_t room_;
};

Bytes valid_file(std::size_t sample_bytes) {
    Bytes b = header_in();
    put(b, chunk("rcvr", counting(20)));
    put(b, odd_list());
    put(b, data_chunk(static_cast<std::uint32_t>(sample_bytes)));
    put(b, counting(sample_bytes));
    return b;
}

TEST(Faults, ReadErrorNeverLooksLikeTheEndOfInput) {
    const std::size_t block = Blocks::groups * 3;
    const Bytes input = valid_file(5 * block + 600);
    const auto full = convert_bytes(input).output;
    const std::size_t list_start = header_in().size() + 28;
    const std::size_t data_start = list_start + odd_list().size() + 8;
    struct Case { std::size_t good; const char* ending; };
    const Case cases[] = {
        {0, "header 0"}, {30, "header 8"}, {35, "header 11"}, {38, "header 12"},
        {header_in().size() + 10, "header 13"}, {list_start + 10, "header 25"},
        {list_start + odd_list().size() - 1, "header 25"},  // the pad byte
        {data_start - 2, "header 25"},
        {data_start, "read"}, {data_start + 301, "read"}, {data_start + block + 3, "read"},
        {data_start + 2 * block, "read"}, {data_start + 4 * block + 1, "read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.good);
        FailingSource in(input, c.good);
        MemorySink out;
        std::string ending = "ok";
        try {
            convert(in, out);
        } catch (const HeaderError& e) {
            ending = "header " + std::to_string(e.stage);
        } catch (const ReadFailure&) {
            ending = "read";
        }
        EXPECT_EQ(ending, c.ending);
        ASSERT_LE(out.bytes().size(), full.size());
        EXPECT_TRUE(std::equal(out.bytes().begin(), out.bytes().end(), full.begin()));
        if (ending == std::string("read")) {
            // The whole groups that did arrive are written.
            const std::size_t groups = (c.good - data_start) / 3;
            EXPECT_EQ(out.bytes().size(), header_out().size() + odd_list().size() + 8 + groups * 4);
        }
    }
}

TEST(Faults, ShortWriteIsAWriteFailureWherever) {
    const Bytes input = valid_file(Blocks::groups * 3 * 6);
    const auto full = convert_bytes(input).output;
    const std::size_t data_start = full.size() - Blocks::groups * 4 * 6;
    for (const std::size_t room : {std::size_t{0}, std::size_t{3}, std::size_t{39}, std::size_t{45},
                                   std::size_t{1000}, data_start + Blocks::groups * 4,
                                   data_start + Blocks::groups * 4 * 2 + 1, full.size() - 1}) {
        SCOPED_TRACE(room);
        MemorySource in(input);
        FullSink out(room);
        EXPECT_THROW(convert(in, out), WriteFailure);
        EXPECT_TRUE(std::equal(out.bytes_.begin(), out.bytes_.end(), full.begin()));
    }
}

// The sample data widened by two threads ends exactly as it does in one:
// the same bytes written and the same failure, which reaches the caller's
// thread whichever side it came from.
TEST(Faults, ThreadedWideningEndsLikeTheSerialLoop) {
    const std::size_t block = Blocks::groups * 3;
    const std::size_t whole = 5 * block + 2;
    // `size` bytes of samples, of which `good` can be read before the source
    // fails (never, at SIZE_MAX); `room` bytes fit the sink.
    struct Case { const char* name; std::size_t size; std::size_t good; bool throws; std::size_t room; const char* ending; };
    const std::size_t never = SIZE_MAX;
    const Case cases[] = {
        {"whole input", whole, never, false, never, "ok"},
        {"read error at the very end", whole, whole, false, never, "read"},
        {"read error in block 1", whole, 7, false, never, "read"},
        {"read error at the end of block 1", whole, block, false, never, "read"},
        {"read error after 2 blocks", whole, 2 * block, false, never, "read"},
        {"read error in block 5", whole, 4 * block + 10, false, never, "read"},
        {"source throws in block 1", whole, 5, true, never, "thrown"},
        {"source throws in block 4", whole, 3 * block + 1, true, never, "thrown"},
        {"disk full in block 1", whole, never, false, 10, "write"},
        {"disk full after 4 blocks", whole, never, false, 4 * Blocks::groups * 4, "write"},
        // Inputs that end inside the first block, or exactly at its end or
        // the next one's, with and without a failure right there.
        {"no samples", 0, never, false, never, "ok"},
        {"ends in block 1", block - 1, never, false, never, "ok"},
        {"ends with block 1", block, never, false, never, "ok"},
        {"ends with block 2", 2 * block, never, false, never, "ok"},
        {"read error in a short input", block - 1, 301, false, never, "read"},
        {"source throws in a short input", block - 1, block - 1, true, never, "thrown"},
        {"disk full in a short input", block - 1, never, false, 1000, "write"},
        {"disk full with block 1", block, never, false, Blocks::groups * 4 - 1, "write"},
        {"disk full right after block 1", block + 3, never, false, Blocks::groups * 4, "write"},
    };
    using Widen = void (*)(Source&, Sink&, Blocks&);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes samples = counting(c.size);
        std::string endings[2];
        Bytes outputs[2];
        const Widen ways[2] = {widen_samples, widen_samples_serially};
        for (int way = 0; way < 2; ++way) {
            FailingSource in(samples, c.good, c.throws);
            FullSink out(c.room);
            Blocks blocks;
            endings[way] = "ok";
            try {
                ways[way](in, out, blocks);
            } catch (const ReadFailure&) {
                endings[way] = "read";
            } catch (const WriteFailure&) {
                endings[way] = "write";
            } catch (const SourceBroke&) {
                endings[way] = "thrown";
            }
            outputs[way] = out.bytes_;
        }
        EXPECT_EQ(endings[0], c.ending);
        EXPECT_EQ(endings[1], c.ending);
        EXPECT_EQ(outputs[0], outputs[1]);
        const Bytes want = widened(samples);
        ASSERT_LE(outputs[0].size(), want.size());
        EXPECT_TRUE(std::equal(outputs[0].begin(), outputs[0].end(), want.begin()));
        if (c.room == never && !c.throws) {
            EXPECT_EQ(outputs[0].size(), std::min(c.size, c.good) / 3 * 4);
        }
    }
}

// The file ends tell an I/O error from the end of the input, and a sink
// never reports a full disk as written.
TEST(Faults, FilesReportTheirErrors) {
    FileSource null("/dev/null");
    FileSink full("/dev/full", null);
    ASSERT_TRUE(full.is_open());
    EXPECT_FALSE(full.write(Bytes{'R', 'I', 'F', 'F'}));
    EXPECT_FALSE(full.close());

    const auto folder = std::filesystem::temp_directory_path();
    FileSource directory(folder.string());
    if (directory.is_open()) {  // POSIX opens a folder, then cannot read it
        Byte b[4];
        EXPECT_EQ(directory.read(b), 0u);
        EXPECT_TRUE(directory.failed());
    }
    FileSource empty("/dev/null");
    Byte b[4];
    EXPECT_EQ(empty.read(b), 0u);
    EXPECT_FALSE(empty.failed());
}

}  // namespace
}  // namespace halvorine::test
