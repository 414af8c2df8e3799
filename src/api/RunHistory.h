#pragma once
// Cheap series a run can keep of itself, a value per completed step, for a
// fitness or a descriptor that looks at the whole run (the highest the
// creature ever stood, how fast it went) rather than at its last step. Kept
// only when asked for (RunSettings::history): a run that does not keep them
// pays one test per step.

#include <vector>

namespace qm {

class NodeManager;

struct RunHistory {
    std::vector<double> step;                       // the step just completed
    std::vector<double> centerX, centerY, centerZ;  // the mean position of the nodes the world holds
    std::vector<double> nodes, links;               // how many
    std::vector<double> height;                     // the highest node above the floor; 0 with no node
    std::vector<double> closest;                    // the closest approach to the goal so far

    void Append(long long stepDone, const NodeManager& world, double closestSoFar);
};

// Every series with its name, in one list: what Python's run.history holds.
template <class Visit>
void ForEachHistorySeries(Visit&& visit) {
    visit("step", &RunHistory::step);
    visit("center_x", &RunHistory::centerX);
    visit("center_y", &RunHistory::centerY);
    visit("center_z", &RunHistory::centerZ);
    visit("nodes", &RunHistory::nodes);
    visit("links", &RunHistory::links);
    visit("height", &RunHistory::height);
    visit("closest", &RunHistory::closest);
}

}  // namespace qm
