#include "convert/widen.hpp"

#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace halvorine {

// The plain loop vectorises into byte shuffles, which baseline x86-64 (SSE2)
// lacks; where the loader can pick a version at start-up, build one for the
// shuffle instruction sets too. The widening otherwise costs more than the
// copy itself. ThreadSanitizer cannot run the loader's version pickers,
// which run before it is set up.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HALVORINE_NO_CLONES
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define HALVORINE_NO_CLONES
#endif
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(HALVORINE_NO_CLONES)
__attribute__((target_clones("avx2", "ssse3", "default")))
#endif
void widen_groups(const Byte* in, std::size_t groups, Byte* out) {
#if defined(__wasm__)
    widen_groups_by_words(in, groups, out);
#else
    for (std::size_t i = 0; i < groups; ++i) {
        out[4 * i] = 0;
        out[4 * i + 1] = in[3 * i];
        out[4 * i + 2] = in[3 * i + 1];
        out[4 * i + 3] = in[3 * i + 2];
    }
#endif
}

void widen_groups_by_words(const Byte* in, std::size_t groups, Byte* out) {
    // 4 groups are 3 words in and 4 out; the shifts depend on which end of
    // a word its first byte sits.
    const auto four = [](const Byte* from, Byte* to) {
        std::uint32_t w[3];
        std::uint32_t o[4];
        std::memcpy(w, from, sizeof w);
        if constexpr (std::endian::native == std::endian::little) {
            o[0] = w[0] << 8;
            o[1] = (w[0] >> 16 & 0xff00U) | w[1] << 16;
            o[2] = (w[1] >> 8 & 0xffff00U) | w[2] << 24;
            o[3] = w[2] & 0xffffff00U;
        } else {
            o[0] = w[0] >> 8;
            o[1] = (w[0] & 0xffU) << 16 | w[1] >> 16;
            o[2] = (w[1] & 0xffffU) << 8 | w[2] >> 24;
            o[3] = w[2] & 0xffffffU;
        }
        std::memcpy(to, o, sizeof o);
    };
    std::size_t i = 0;
    // 16 groups a turn: a quarter less time than 4 in JavaScriptCore, which
    // pays most for each turn of a loop; up to a tenth less in the others.
    for (; i + 16 <= groups; i += 16) {
        for (std::size_t k = 0; k < 4; ++k) four(in + 3 * i + 12 * k, out + 4 * i + 16 * k);
    }
    for (; i + 4 <= groups; i += 4) four(in + 3 * i, out + 4 * i);
    for (; i < groups; ++i) {
        out[4 * i] = 0;
        std::memcpy(out + 4 * i + 1, in + 3 * i, 3);
    }
}

namespace {

// One block read and widened: how many bytes of it to write, and how the
// read ended. The block holds whole groups and reads fill it unless the
// input is over, so a group never straddles two blocks.
struct Widened {
    std::size_t bytes = 0;
    Read how = Read::whole;
    std::exception_ptr thrown;
};

Widened read_and_widen(Source& in, std::span<Byte> from, std::span<Byte> into) {
    const auto [got, how] = read_some(in, from);
    widen_groups(from.data(), got / 3, into.data());
    return {got / 3 * 4, how, nullptr};
}

// Writes one widened block; true while more are to come.
bool write_block(Sink& out, std::span<const Byte> block, const Widened& w) {
    write_exact(out, block.first(w.bytes));
    if (w.thrown) std::rethrow_exception(w.thrown);
    if (w.how == Read::error) throw ReadFailure{};
    return w.how == Read::whole;
}

// The hand-over between the two threads: block n goes into slot n % depth,
// and the reader waits while `depth` blocks are still unwritten.
class Ring {
public:
    // Reader: waits for a free slot; false when the writer has given up.
    bool wait_free(std::size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || n - written_ < Blocks::depth; });
        return !stopped_;
    }
    void put(std::size_t n, const Widened& w) {
        change([&] {
            slots_[n % Blocks::depth] = w;
            read_ = n + 1;
        });
    }
    // Writer: waits for block n.
    Widened take(std::size_t n) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return read_ > n; });
        return slots_[n % Blocks::depth];
    }
    void written(std::size_t n) {
        change([&] { written_ = n + 1; });
    }
    void stop() {
        change([&] { stopped_ = true; });
    }

private:
    template <typename Change>
    void change(Change what) {
        {
            const std::lock_guard lock(mutex_);
            what();
        }
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::array<Widened, Blocks::depth> slots_{};
    std::size_t read_ = 0;
    std::size_t written_ = 0;
    bool stopped_ = false;
};

// Reads blocks from `n` on, until the input ends or the writer gives up.
void read_blocks(Source& in, Blocks& blocks, Ring& ring, std::size_t n) {
    for (; ring.wait_free(n); ++n) {
        Widened w;
        try {
            w = read_and_widen(in, blocks.in, blocks.widened[n % Blocks::depth]);
        } catch (...) {
            w = {0, Read::error, std::current_exception()};
        }
        ring.put(n, w);
        if (w.how != Read::whole) return;
    }
}

}  // namespace

void widen_samples_serially(Source& in, Sink& out, Blocks& blocks) {
    while (write_block(out, blocks.widened[0], read_and_widen(in, blocks.in, blocks.widened[0]))) {
    }
}

void widen_samples(Source& in, Sink& out, Blocks& blocks) {
    // A folder may hold many small recordings, and one that ends inside its
    // first block is over before a second thread could help: that block is
    // read here, and the reader started only when more may follow.
    const Widened first = read_and_widen(in, blocks.in, blocks.widened[0]);
    if (first.how != Read::whole) {
        write_block(out, blocks.widened[0], first);
        return;
    }
    Ring ring;
    ring.put(0, first);
    std::thread reader;
    try {
        reader = std::thread([&] { read_blocks(in, blocks, ring, 1); });
    } catch (const std::system_error&) {
        if (write_block(out, blocks.widened[0], first)) widen_samples_serially(in, out, blocks);
        return;
    }
    // Every ending passes through here: the reader is told to stop and is
    // joined before the caller sees the result, so no thread outlives it.
    try {
        for (std::size_t n = 0;; ++n) {
            const bool more = write_block(out, blocks.widened[n % Blocks::depth], ring.take(n));
            ring.written(n);
            if (!more) break;
        }
    } catch (...) {
        ring.stop();
        reader.join();
        throw;
    }
    reader.join();
}

}  // namespace halvorine
