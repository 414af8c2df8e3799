#pragma once
// Machine-readable records of a run: the JSON trace line of a world, the CSV
// stats row and the closing summary. Single-precision values are written with
// 9 significant digits and doubles with 17, so both read back exactly; a
// value that is not finite is written as null (or an empty CSV field).

#include <cstdio>
#include <string>

#include "math/D3dxTypes.h"

namespace qm {
class NodeManager;
struct StepProfile;
}  // namespace qm

namespace qm::sim {

// Appends number formats to a reusable buffer.
class JsonOut {
  public:
    void Clear() { text.clear(); }
    JsonOut& Raw(const char* s) {
        text += s;
        return *this;
    }
    JsonOut& Int(long long v);
    JsonOut& Float(float v);
    JsonOut& Double(double v);
    JsonOut& Vec(const Vector3& v);
    const std::string& Text() const { return text; }

  private:
    std::string text;
};

// The table --profile prints: one line per phase of a step with its total time
// in milliseconds and its share of the time of all phases, then the total.
std::string ProfileTable(const StepProfile& profile);

// {"step":K,"nodes":[...],"links":[[A,B],...]}
void AppendTraceLine(JsonOut& out, long long step, const NodeManager& world);

// step,nodes,links,centroid_x,centroid_y,centroid_z,goal_distance
extern const char* const kStatsHeader;
std::string StatsRow(long long step, const NodeManager& world);

// The smallest distance from any node to the world's goal; NaN for an empty world.
float GoalDistance(const NodeManager& world);

}  // namespace qm::sim
