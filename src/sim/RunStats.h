#pragma once
// A run's statistics besides its trace (record/TraceWriter.h): the rows of
// the CSV stats file and the profile table. Single-precision values are written
// with 9 significant digits, so they read back exactly; a value that is not
// finite is an empty CSV field.

#include <cstdio>
#include <string>

#include "math/D3dxTypes.h"
#include "record/TraceJson.h"

#include "api/Frame.h"
#include "api/Run.h"

namespace qm::sim {

using record::JsonOut;

// The table --profile prints: one line per phase of a step with its total time
// in milliseconds and its share of the time of all phases, then the total.
std::string ProfileTable(const StepTimes& times);

// step,nodes,links,centroid_x,centroid_y,centroid_z,center_x,center_y,center_z,goal_distance
extern const char* const kStatsHeader;
std::string StatsRow(long long step, const Frame& frame);

}  // namespace qm::sim
