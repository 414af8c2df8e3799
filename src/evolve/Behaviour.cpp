#include "evolve/Behaviour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace qm::evolve {
namespace {

// The node's start sits about 250 units from the default goal: the ranges
// reach that far, so the edge cells hold the creatures that went farthest.
constexpr std::array<Descriptor, 8> kDescriptors{{
    {"dx", "the center's displacement along x, first step to last", -250.0, 250.0,
     [](const EvalResult& r) { return r.dx; }},
    {"dz", "the center's displacement along z (towards the default goal)", -250.0, 250.0,
     [](const EvalResult& r) { return r.dz; }},
    {"distance", "the center's horizontal displacement", 0.0, 250.0,
     [](const EvalResult& r) { return std::hypot(r.dx, r.dz); }},
    {"height", "the highest node above the floor at the end", 0.0, 50.0,
     [](const EvalResult& r) { return r.height; }},
    {"nodes", "the nodes at the end", 0.0, 0.0,
     [](const EvalResult& r) { return static_cast<double>(r.nodes); }},
    {"closest", "the closest approach of any node to the goal", 0.0, 250.0,
     [](const EvalResult& r) { return r.closest; }},
    // A taxis search's first movers go a few tens of units; its goal-reachers
    // about the goal's distance (250), where they no longer need telling apart.
    {"taxis", "the centre's displacement towards the goal", -20.0, 60.0,
     [](const EvalResult& r) { return r.taxis; }},
    {"moved", "the centre's horizontal displacement, any direction", 0.0, 80.0,
     [](const EvalResult& r) { return std::hypot(r.dx, r.dz); }},
}};

// The search's own descriptors: Python functions of the finished run
// (quillmoth.evolve), whose values the evaluation brings back. No range of
// their own: they are given with one.
constexpr std::array<Descriptor, 3> kPythonDescriptors{{
    {"python1", "the first Python descriptor", 0.0, 1.0, [](const EvalResult& r) { return r.python[0]; }},
    {"python2", "the second Python descriptor", 0.0, 1.0, [](const EvalResult& r) { return r.python[1]; }},
    {"python3", "the third Python descriptor", 0.0, 1.0, [](const EvalResult& r) { return r.python[2]; }},
}};

// A whole number or a real, all of the text.
bool ReadReal(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(out);
}

}  // namespace

std::span<const Descriptor> Descriptors() { return kDescriptors; }

const Descriptor* FindDescriptor(std::string_view name) {
    for (const Descriptor& d : kDescriptors) {
        if (name == d.name) return &d;
    }
    for (const Descriptor& d : kPythonDescriptors) {
        if (name == d.name) return &d;
    }
    return nullptr;
}

std::string PythonDescriptorIn(const std::vector<std::string>& specs) {
    for (const std::string& axis : specs) {
        std::string name = axis.substr(0, axis.find(':'));
        for (const Descriptor& d : kPythonDescriptors) {
            if (name == d.name) return name;
        }
    }
    return {};
}

std::string DescriptorNames() {
    std::string names;
    for (const Descriptor& d : kDescriptors) names += (names.empty() ? "" : ", ") + std::string(d.name);
    return names;
}

std::optional<DescriptorSpec> ParseDescriptorSpec(const std::string& text, std::string& problem) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t colon; (colon = text.find(':', from)) != std::string::npos; from = colon + 1)
        parts.push_back(text.substr(from, colon - from));
    parts.push_back(text.substr(from));
    const Descriptor* known = FindDescriptor(parts[0]);
    if (!known) {
        problem = "no descriptor '" + parts[0] + "'; the descriptors are " + DescriptorNames();
        return std::nullopt;
    }
    DescriptorSpec axis{*known, 0};
    if (parts.size() == 1) return axis;
    double cells = 0.0;
    if ((parts.size() != 3 && parts.size() != 4) || !ReadReal(parts[1], axis.descriptor.low) ||
        !ReadReal(parts[2], axis.descriptor.high) || (parts.size() == 4 && !ReadReal(parts[3], cells))) {
        problem = "'" + text + "' is not NAME, NAME:LOW:HIGH or NAME:LOW:HIGH:CELLS";
        return std::nullopt;
    }
    if (!(axis.descriptor.low < axis.descriptor.high)) {
        problem = "'" + text + "' needs LOW below HIGH";
        return std::nullopt;
    }
    if (parts.size() == 4) {
        if (cells != std::floor(cells) || cells < 1 || cells > kMaxAxisCells) {
            problem = "'" + text + "' needs CELLS from 1 to " + std::to_string(kMaxAxisCells);
            return std::nullopt;
        }
        axis.cells = static_cast<int>(cells);
    }
    return axis;
}

BehaviourSpace::BehaviourSpace(const std::vector<std::string>& specs, int cellsEach, int maxNodes) {
    for (const std::string& text : specs) {
        std::string problem;
        const std::optional<DescriptorSpec> axis = ParseDescriptorSpec(text, problem);
        if (!axis) throw std::invalid_argument(problem);
        Descriptor d = axis->descriptor;
        if (text == "nodes") d.high = maxNodes;
        axes.push_back(d);
        cells.push_back(axis->cells > 0 ? axis->cells : cellsEach);
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
        const double place = std::floor(share * cells[i]);
        // NaN and the values outside the range fall into the edge cells.
        const int at = place >= 0.0 ? static_cast<int>(std::min<double>(place, cells[i] - 1)) : 0;
        cell = cell * cells[i] + at;
    }
    return cell;
}

std::vector<int> BehaviourSpace::Coordinates(int cell) const {
    std::vector<int> at(axes.size());
    for (std::size_t i = axes.size(); i-- > 0;) {
        at[i] = cell % cells[i];
        cell /= cells[i];
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

double BehaviourSpace::CellCount() const {
    double count = 1.0;
    for (int n : cells) count *= n;
    return count;
}

}  // namespace qm::evolve
