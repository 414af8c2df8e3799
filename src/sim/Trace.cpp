#include "sim/Trace.h"

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

JsonOut& JsonOut::Int(long long v) {
    text += std::to_string(v);
    return *this;
}

JsonOut& JsonOut::Float(float v) {
    if (std::isfinite(v)) {
        AppendFormatted(text, "%.9g", static_cast<double>(v));
    } else {
        text += "null";
    }
    return *this;
}

JsonOut& JsonOut::Double(double v) {
    if (std::isfinite(v)) {
        AppendFormatted(text, "%.17g", v);
    } else {
        text += "null";
    }
    return *this;
}

JsonOut& JsonOut::Vec(const Vector3& v) {
    Raw("[").Float(v.x).Raw(",").Float(v.y).Raw(",").Float(v.z).Raw("]");
    return *this;
}

void AppendTraceLine(JsonOut& out, long long step, const NodeManager& world) {
    out.Raw("{\"step\":").Int(step).Raw(",\"nodes\":[");
    bool first = true;
    for (const auto& [id, node] : world.NodeMap()) {
        out.Raw(first ? "{\"id\":" : ",{\"id\":").Int(id);
        first = false;
        out.Raw(",\"pos\":").Vec(node->pos).Raw(",\"vel\":").Vec(node->vel);
        out.Raw(",\"param\":[");
        for (int i = 0; i < paramCount; ++i) out.Raw(i ? "," : "").Double(node->param[i]);
        out.Raw("],\"diff\":[");
        for (int i = 0; i < paramCount; ++i) out.Raw(i ? "," : "").Double(node->diffRate[i]);
        out.Raw("],\"edges\":").Int(node->edgeCount).Raw(",\"request\":").Int(node->request);
        out.Raw(",\"ground\":").Raw(node->onGround ? "true" : "false");
        out.Raw(",\"edgeLength\":").Double(node->edgeLength);
        const ColorValue& c = node->material.Diffuse;
        out.Raw(",\"color\":[").Float(c.r).Raw(",").Float(c.g).Raw(",").Float(c.b).Raw("]}");
    }
    out.Raw("],\"links\":[");
    first = true;
    for (const auto& [pair, one] : world.Links().Pairs()) {
        out.Raw(first ? "[" : ",[").Int(pair.first->id).Raw(",").Int(pair.second->id).Raw("]");
        first = false;
    }
    out.Raw("]}\n");
}

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
