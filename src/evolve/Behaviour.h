#pragma once
// Behaviour descriptors: numbers that say what a creature did, whatever the
// task. Quality-diversity searches keep genes that behave differently
// (map-elites: the best gene of every cell of a grid over the descriptors;
// novelty: genes far from those seen before); every search records where its
// genes fall.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "evolve/Fitness.h"

namespace qm::evolve {

struct Descriptor {
    const char* name;
    const char* meaning;
    double low, high;  // the grid's range; values outside it fall into the edge cells
    double (*value)(const EvalResult&);
};

// The descriptors in the order docs/evolve.md lists them. The range of
// `nodes` is 0 to the search's node cap, which BehaviourSpace puts in.
std::span<const Descriptor> Descriptors();
const Descriptor* FindDescriptor(std::string_view name);
// "dx, dz, ...": the names, for messages (not the Python descriptors').
std::string DescriptorNames();
// The first of the specs that names a Python descriptor (python1 to
// python3, FindDescriptor finds them too), or empty: only the Python package
// can compute them.
std::string PythonDescriptorIn(const std::vector<std::string>& specs);

// A descriptor of a search as the user gives it: NAME, or NAME:LOW:HIGH with
// its own range, or NAME:LOW:HIGH:CELLS with its own number of cells too
// (the search's --grid otherwise).
inline constexpr int kMaxAxisCells = 1000000;

struct DescriptorSpec {
    Descriptor descriptor;
    int cells = 0;  // 0: the search's
};
// The descriptor a text names, with its range and cells, or why it names none (in `problem`).
std::optional<DescriptorSpec> ParseDescriptorSpec(const std::string& text, std::string& problem);

// The grid of a search: each of its descriptors' ranges cut into equal
// cells. A gene's behaviour is the mean of each descriptor over its runs.
class BehaviourSpace {
  public:
    // `cells` (at least 1) for the descriptors that do not give their own; a
    // text that does not read throws std::invalid_argument (SettingsProblem
    // refuses it first).
    BehaviourSpace(const std::vector<std::string>& specs, int cells, int maxNodes);

    std::vector<double> Values(std::span<const EvalResult> runs) const;
    // The cell of a behaviour, numbered with the first descriptor varying slowest.
    int Cell(std::span<const double> values) const;
    // The cell's place along each descriptor, 0 to cells - 1.
    std::vector<int> Coordinates(int cell) const;
    // Distance of two behaviours with each descriptor measured in units of its range.
    double Distance(std::span<const double> a, std::span<const double> b) const;

    // The grid's cells: the product of every axis's (a double, as it may be huge).
    double CellCount() const;
    int Cells(std::size_t axis) const { return cells[axis]; }
    std::size_t Size() const { return axes.size(); }
    const Descriptor& Axis(std::size_t i) const { return axes[i]; }

  private:
    std::vector<Descriptor> axes;
    std::vector<int> cells;
};

}  // namespace qm::evolve
