#include "sim/RunStats.h"

#include <cmath>
#include <limits>

namespace qm::sim {

const char* const kStatsHeader =
    "step,nodes,links,centroid_x,centroid_y,centroid_z,center_x,center_y,center_z,goal_distance\n";

namespace {

void AppendFormatted(std::string& text, const char* format, double v) {
    char buffer[40];
    int n = std::snprintf(buffer, sizeof buffer, format, v);
    text.append(buffer, static_cast<std::size_t>(n));
}

std::string CsvFloat(float v) {
    if (!std::isfinite(v)) return std::string();
    std::string text;
    AppendFormatted(text, "%.9g", static_cast<double>(v));
    return text;
}

}  // namespace

std::string ProfileTable(const StepTimes& times) {
    std::int64_t total = 0;
    for (const auto& [phase, ns] : times.phases) total += ns;
    std::string text = "step profile: " + std::to_string(times.steps) + " steps\n";
    char line[96];
    std::snprintf(line, sizeof line, "%-12s %12s %7s\n", "phase", "total ms", "share");
    text += line;
    for (const auto& [phase, ns] : times.phases) {
        const double share = total > 0 ? 100.0 * static_cast<double>(ns) / static_cast<double>(total) : 0.0;
        std::snprintf(line, sizeof line, "%-12s %12.3f %6.1f%%\n", phase, static_cast<double>(ns) / 1e6,
                      share);
        text += line;
    }
    std::snprintf(line, sizeof line, "%-12s %12.3f %6.1f%%\n", "total", static_cast<double>(total) / 1e6,
                  total > 0 ? 100.0 : 0.0);
    text += line;
    return text;
}

std::string StatsRow(long long step, const Frame& frame) {
    const Vector3& c = frame.centroid;
    const Vector3& m = frame.center;
    return std::to_string(step) + "," + std::to_string(frame.nodes) + "," + std::to_string(frame.links) +
           "," + CsvFloat(c.x) + "," + CsvFloat(c.y) + "," + CsvFloat(c.z) + "," + CsvFloat(m.x) + "," +
           CsvFloat(m.y) + "," + CsvFloat(m.z) + "," + CsvFloat(frame.goalDistance) + "\n";
}

}  // namespace qm::sim
