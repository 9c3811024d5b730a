#pragma once
// The outputs a batch has written, by the file system's identity of each:
// two names that are one file (letter case where the file system ignores
// it, "." and "..") are one claim. A later recording that would replace an
// output made from another recording in this batch is refused.

#include <optional>
#include <cstddef>
#include <unordered_map>

#include "cli/batch_list.hpp"

namespace halvorine::cli {

// The recording an output was made from: its identity, and its place in the
// batch's list, which names it and its output when a later one is refused.
struct Claim {
    std::optional<FileIdentity> input;
    std::size_t item;
};

class Claims {
public:
    // The claim of another recording on `output`; none when there is none,
    // or when it was made from `input` itself.
    [[nodiscard]] const Claim* claimant(const std::optional<FileIdentity>& output,
                                        const std::optional<FileIdentity>& input) const;
    // Records an output this batch wrote. One of unknown identity is not
    // recorded, as it would match every other.
    void claim(const std::optional<FileIdentity>& output, const Claim& claim);

private:
    std::unordered_map<FileIdentity, Claim, IdentityHash> claims_;
};

}  // namespace halvorine::cli
