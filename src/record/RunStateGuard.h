#pragma once
// The checks of a saved run that go beyond its parts agreeing with each other
// (CheckRun): what the first step would otherwise stumble on, refused before
// the run starts.

#include <cstddef>
#include <vector>

#include "record/RunState.h"

namespace qm::record {

// The entries of RunState::partners that `nodes` count (negative counts add
// nothing: CheckRun refuses them): the most the partners table may hold.
std::size_t PartnerEntries(const std::vector<NodeRecord>& nodes);

// Every filed node sits in the cell its position gives; every gene (the
// driver's and the nodes') is one whole expression of known primitives; the
// gene file's bytes are those the manifest's hash names and compile to the
// driver's gene. Throws RecordError
// ("inconsistent: ...").
void CheckPlacesAndGenes(const RunState& state);

}  // namespace qm::record
