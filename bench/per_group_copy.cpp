// Timing reference only: the plain group-at-a-time widening loop over stdio
// that the converter's block moves are measured against. It copies the first
// HEADER_BYTES bytes (default 44, a canonical WAV header) as they are, then
// writes 00 b0 b1 b2 for every whole 3-byte group b0 b1 b2 that follows, with
// one 3-byte fread and one 4-byte fwrite per group.
//
// Usage: per_group_copy IN OUT [HEADER_BYTES]

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s IN OUT [HEADER_BYTES]\n", argv[0]);
        return 2;
    }
    const long header = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 44;
    std::FILE* in = std::fopen(argv[1], "rb");
    std::FILE* out = in != nullptr ? std::fopen(argv[2], "wb") : nullptr;
    if (in == nullptr || out == nullptr || header < 0) {
        std::fprintf(stderr, "per_group_copy: cannot open %s or %s\n", argv[1], argv[2]);
        return 1;
    }

    for (long i = 0; i < header; ++i) {
        const int c = std::fgetc(in);
        if (c == EOF) break;
        std::fputc(c, out);
    }

    unsigned char group[4] = {0, 0, 0, 0};
    while (std::fread(group + 1, 1, 3, in) == 3) {
        if (std::fwrite(group, 1, 4, out) != 4) {
            std::fprintf(stderr, "per_group_copy: write failed\n");
            return 1;
        }
    }

    const bool ok = std::ferror(in) == 0 && std::fclose(out) == 0;
    std::fclose(in);
    if (!ok) std::fprintf(stderr, "per_group_copy: I/O error\n");
    return ok ? 0 : 1;
}
