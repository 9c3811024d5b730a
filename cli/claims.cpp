#include "cli/claims.hpp"


namespace halvorine::cli {

const Claim* Claims::claimant(const std::optional<FileIdentity>& output,
                              const std::optional<FileIdentity>& input) const {
    if (!output) return nullptr;
    const auto it = claims_.find(*output);
    if (it == claims_.end()) return nullptr;
    const Claim& earlier = it->second;
    return input && known(*input) && earlier.input == input ? nullptr : &earlier;
}

void Claims::claim(const std::optional<FileIdentity>& output, const Claim& claim) {
    if (output && known(*output)) claims_.insert_or_assign(*output, claim);
}

}  // namespace halvorine::cli
