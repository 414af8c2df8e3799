#include "base/RunLimits.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <limits>

namespace qm {

std::optional<std::uint32_t> ParseSeed(std::string_view text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

int DefaultMaxNodes(long long bytesPerNode) {
    const long long pages = sysconf(_SC_PHYS_PAGES);
    const long long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 1000000;
    const long long nodes = pages / 4 * pageSize / bytesPerNode;
    return static_cast<int>(std::clamp<long long>(nodes, 1, std::numeric_limits<int>::max()));
}

}  // namespace qm
