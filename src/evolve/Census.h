#pragma once
// A census of an initialiser: how many of its random genes head for the
// goal. Each gene is grown twice from the first evaluation seed, with the
// goal ahead (the search's goal, or the default) and behind (turned half
// round the start); it heads for the goal when its centre ends at least
// kCensusTaxis units nearer the goal, horizontally, in both runs. A gene that
// moves one fixed way gains towards one goal what it loses towards the other.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "evolve/Evaluator.h"
#include "evolve/GeneCode.h"
#include "evolve/Search.h"

namespace qm::evolve {

inline constexpr double kCensusTaxis = 2.0;

struct CensusEntry {
    long long id = 0;
    GeneCode code;
    EvalResult ahead, behind;
    bool Heads() const;
};

// The genes the search with these settings would start from (its seed, its
// init, its length limit), n of them, grown in batches on `evaluator`;
// `progress` hears after every batch how many were grown and how many head
// for the goal so far.
std::vector<CensusEntry> Census(const SearchSettings& settings, long long n, Evaluator& evaluator,
                                const std::function<void(long long grown, long long heading)>& progress);

// The table of a census: a comment line with the settings, then one row per gene.
std::string CensusTable(const SearchSettings& settings, const std::vector<CensusEntry>& entries);

}  // namespace qm::evolve
