#include "convert/widen.hpp"

namespace halvorine {

// The plain loop vectorises into byte shuffles, which baseline x86-64 (SSE2)
// lacks; where the loader can pick a version at start-up, build one for the
// shuffle instruction sets too. The widening otherwise costs more than the
// copy itself.
#if defined(__x86_64__) && defined(__linux__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target_clones("avx2", "ssse3", "default")))
#endif
void widen_groups(const Byte* in, std::size_t groups, Byte* out) {
    for (std::size_t i = 0; i < groups; ++i) {
        out[4 * i] = 0;
        out[4 * i + 1] = in[3 * i];
        out[4 * i + 2] = in[3 * i + 1];
        out[4 * i + 3] = in[3 * i + 2];
    }
}

}  // namespace halvorine
