#include "evolve/Behaviour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace qm::evolve {
namespace {

// The node's start sits about 250 units from the default goal: the ranges
// reach that far, so the edge cells hold the creatures that went farthest.
constexpr std::array<Descriptor, 6> kDescriptors{{
    {"dx", "the centroid's displacement along x, first step to last", -250.0, 250.0,
     [](const EvalResult& r) { return r.dx; }},
    {"dz", "the centroid's displacement along z (towards the default goal)", -250.0, 250.0,
     [](const EvalResult& r) { return r.dz; }},
    {"distance", "the centroid's horizontal displacement", 0.0, 250.0,
     [](const EvalResult& r) { return std::hypot(r.dx, r.dz); }},
    {"height", "the highest node above the floor at the end", 0.0, 50.0,
     [](const EvalResult& r) { return r.height; }},
    {"nodes", "the nodes at the end", 0.0, 0.0,
     [](const EvalResult& r) { return static_cast<double>(r.nodes); }},
    {"closest", "the closest approach of any node to the goal", 0.0, 250.0,
     [](const EvalResult& r) { return r.closest; }},
}};

}  // namespace

std::span<const Descriptor> Descriptors() { return kDescriptors; }

const Descriptor* FindDescriptor(std::string_view name) {
    for (const Descriptor& d : kDescriptors) {
        if (name == d.name) return &d;
    }
    return nullptr;
}

std::string DescriptorNames() {
    std::string names;
    for (const Descriptor& d : kDescriptors) names += (names.empty() ? "" : ", ") + std::string(d.name);
    return names;
}

BehaviourSpace::BehaviourSpace(const std::vector<std::string>& names, int cells, int maxNodes)
    : cells(cells) {
    for (const std::string& name : names) {
        const Descriptor* known = FindDescriptor(name);
        if (!known)
            throw std::invalid_argument("no descriptor '" + name + "'; the descriptors are " +
                                        DescriptorNames());
        Descriptor d = *known;
        if (name == "nodes") d.high = maxNodes;
        axes.push_back(d);
    }
}

std::vector<double> BehaviourSpace::Values(std::span<const EvalResult> runs) const {
    std::vector<double> values;
    for (const Descriptor& d : axes) {
        double sum = 0.0;
        for (const EvalResult& r : runs) sum += d.value(r);
        values.push_back(runs.empty() ? 0.0 : sum / static_cast<double>(runs.size()));
    }
    return values;
}

int BehaviourSpace::Cell(std::span<const double> values) const {
    int cell = 0;
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const double share = (values[i] - axes[i].low) / (axes[i].high - axes[i].low);
        const double place = std::floor(share * cells);
        // NaN and the values outside the range fall into the edge cells.
        const int at = place >= 0.0 ? static_cast<int>(std::min<double>(place, cells - 1)) : 0;
        cell = cell * cells + at;
    }
    return cell;
}

std::vector<int> BehaviourSpace::Coordinates(int cell) const {
    std::vector<int> at(axes.size());
    for (std::size_t i = axes.size(); i-- > 0;) {
        at[i] = cell % cells;
        cell /= cells;
    }
    return at;
}

double BehaviourSpace::Distance(std::span<const double> a, std::span<const double> b) const {
    double sum = 0.0;
    for (std::size_t i = 0; i < axes.size(); ++i) {
        const double d = (a[i] - b[i]) / (axes[i].high - axes[i].low);
        sum += d * d;
    }
    return std::sqrt(sum);
}

int BehaviourSpace::CellCount() const {
    int count = 1;
    for (std::size_t i = 0; i < axes.size(); ++i) count *= cells;
    return count;
}

}  // namespace qm::evolve
