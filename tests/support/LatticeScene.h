#pragma once
// A world seeded directly with many nodes, shared by the step benchmarks and
// the test that keeps that scene honest: nodes on a lattice in the box, every
// four along x joined in a chain, each with a small gene that keeps them alive
// (it senses, writes parameters and colour, but never divides or dies).

#include <cstdint>
#include <memory>

#include "gp/Unit.h"
#include "world/NodeManager.h"

namespace qm::scene {

// Gene source of the lattice's nodes: 22 elements, no division, no death.
extern const char* const kLatticeGene;

// That gene, compiled.
std::unique_ptr<Unit> LatticeGene();

// Lattice spacing; 4 units keeps neighbours within each other's 27 cells.
inline constexpr float kLatticeSpacing = 4.0f;
// Beyond about 600,000 nodes ten layers 4 units apart no longer fit the box:
// such lattices are 3.5 units apart in thirteen layers (1.5 times as dense).
inline constexpr float kDenseLatticeSpacing = 3.5f;
inline constexpr int kDenseLatticeLayers = 13;

// Places `count` nodes carrying `gene` on a lattice of up to ten layers from
// just above the floor, centred on the y axis, and links chains of four along x.
void SeedLattice(NodeManager& world, Unit& gene, int count);

// The crowd users grow: every node adds to a parameter each step and divides
// when it is full, whatever its links, so the creature doubles every 100
// steps into a dense heap on the floor.
extern const char* const kCrowdGene;
std::unique_ptr<Unit> CrowdGene();

// Seeds `world` with one node of `gene` (its run's generator seeded with `seed`)
// and runs `steps` steps: the crowd gene reaches 2^14 = 16,384 nodes at step 1400.
void GrowCrowd(NodeManager& world, Unit& gene, unsigned seed, int steps);

// Unlinked pairs within each other's 27 cells, per node: the work of the
// neighbour loop, to compare worlds of different density.
double NeighbourPairsPerNode(const NodeManager& world);

// A hash of everything a step changes (positions, velocities, forces,
// parameters, requests, link counts) over the nodes in id order, and of the
// number of links. Ids themselves are left out: they depend on how many nodes
// its run made before.
std::uint64_t StateHash(const NodeManager& world);

// A gene of exactly `elements` elements (a balanced tree of arithmetic, tests
// and parameter writes over senses and constants) that never divides or dies.
std::unique_ptr<Unit> ArithmeticGene(int elements);

}  // namespace qm::scene
