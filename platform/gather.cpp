#include "platform/gather.hpp"

namespace halvorine {

#if !defined(_WIN32)

namespace {

// A file manager passes every chosen file to one process.
class Alone final : public Gathering {
public:
    std::vector<std::filesystem::path> arrived(bool) override { return {}; }
    void close() override {}
};

}  // namespace

std::unique_ptr<Gathering> Gathering::join(const std::vector<std::filesystem::path>&) {
    return std::make_unique<Alone>();
}

#endif

}  // namespace halvorine
