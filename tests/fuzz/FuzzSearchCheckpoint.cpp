// A search's checkpoint.txt of any bytes through the reader a resume uses:
// it is refused with the line where it goes wrong, or read into settings and
// a state whose every number is within its range.

#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "evolve/SearchCheckpoint.h"
#include "evolve/SearchError.h"

namespace {

// The input goes through a file, as a resume reads it.
const std::string& InputPath() {
    static const std::string path = [] {
        char name[] = "/tmp/quillmoth-fuzz-search-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0) close(fd);
        return std::string(name);
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = InputPath();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    try {
        const qm::evolve::Checkpoint c = qm::evolve::LoadCheckpoint(path);
        // What the reader lets through holds to the ranges it promises.
        if (c.state.done < 0 || c.state.done > c.settings.generations) std::abort();
        for (const auto& [cell, gene] : c.state.archive) {
            if (cell < 0 || !std::isfinite(gene.fitness) || gene.origin.id >= c.state.nextId) std::abort();
        }
        for (const auto& point : c.state.novelty) {
            for (double v : point) {
                if (!std::isfinite(v)) std::abort();
            }
        }
    } catch (const qm::evolve::SearchError&) {
    }
    return 0;
}
