#include "sim/RunStats.h"

#include <cmath>
#include <limits>

#include "world/NodeManager.h"
#include "world/StepProfile.h"

namespace qm::sim {

const char* const kStatsHeader = "step,nodes,links,centroid_x,centroid_y,centroid_z,goal_distance\n";

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

std::string ProfileTable(const StepProfile& profile) {
    std::int64_t total = 0;
    for (std::int64_t ns : profile.nanoseconds) total += ns;
    std::string text = "step profile: " + std::to_string(profile.steps) + " steps\n";
    char line[96];
    std::snprintf(line, sizeof line, "%-12s %12s %7s\n", "phase", "total ms", "share");
    text += line;
    for (int i = 0; i < kStepPhaseCount; ++i) {
        const std::int64_t ns = profile.nanoseconds[static_cast<std::size_t>(i)];
        const double share = total > 0 ? 100.0 * static_cast<double>(ns) / static_cast<double>(total) : 0.0;
        std::snprintf(line, sizeof line, "%-12s %12.3f %6.1f%%\n", StepPhaseName(static_cast<StepPhase>(i)),
                      static_cast<double>(ns) / 1e6, share);
        text += line;
    }
    std::snprintf(line, sizeof line, "%-12s %12.3f %6.1f%%\n", "total", static_cast<double>(total) / 1e6,
                  total > 0 ? 100.0 : 0.0);
    text += line;
    return text;
}

float GoalDistance(const NodeManager& world) {
    float best = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [id, node] : world.NodeMap()) {
        float d = Vec3Length(world.GoalPos() - node->pos);
        if (!(d >= best)) best = d;
    }
    return best;
}

std::string StatsRow(long long step, const NodeManager& world) {
    const Vector3& c = world.GetCentroid();
    return std::to_string(step) + "," + std::to_string(world.GetNodeCount()) + "," +
           std::to_string(world.Links().Size()) + "," + CsvFloat(c.x) + "," + CsvFloat(c.y) + "," +
           CsvFloat(c.z) + "," + CsvFloat(GoalDistance(world)) + "\n";
}

}  // namespace qm::sim
