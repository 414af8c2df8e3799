// A sweep's results.csv of any bytes through the reader a resume uses: every
// row it keeps is a whole result of one of the sweep's runs.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "sim/SweepRows.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two settings by two seeds, as `sweep --set gravity=0.01,0.02 --seeds 1-2` names its runs.
    static const std::string header =
        "gravity,seed,outcome,steps,goal_step,closest,nodes,links,centroid_x,centroid_y,centroid_z,center_x,"
        "center_y,center_z,wall_seconds\n";
    static const std::map<std::string, std::size_t> runs = {
        {"0.01,1", 0}, {"0.01,2", 1}, {"0.02,1", 2}, {"0.02,2", 3}};
    const qm::sim::SweepRows read =
        qm::sim::ReadSweepRows(std::string(reinterpret_cast<const char*>(data), size), header, runs, 1);
    for (const auto& [run, row] : read.rows) {
        if (run >= runs.size() || row.empty() || row.back() != '\n') std::abort();
        if (qm::sim::FieldStart(row, 14) == std::string::npos ||
            qm::sim::FieldStart(row, 15) != std::string::npos)
            std::abort();
    }
    return 0;
}
