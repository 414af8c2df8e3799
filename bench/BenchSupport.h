#pragma once
// What every benchmark reports besides its time: a hash of the state it left,
// so that a speed-up that changes results shows in the report.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace qm::bench {

inline std::string HashLabel(std::uint64_t hash) {
    char text[32];
    std::snprintf(text, sizeof text, "state=%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace qm::bench
