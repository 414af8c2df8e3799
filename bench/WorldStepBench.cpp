// One world step of a lattice world of 10 to 1,000,000 nodes, and of the crowd
// users grow (one node that divides every 100 steps, timed from 16,384 nodes
// to 32,768). The number of steps is fixed per scene, so the state after them,
// and its hash, is the same in every run: a change of the hash means a change
// of behaviour (bench/scene_hashes.txt holds the hashes; scripts/bench
// --validate and a test compare them).

#include <benchmark/benchmark.h>

#include <memory>

#include "BenchSupport.h"
#include "base/Diagnostics.h"
#include "base/Random.h"
#include "support/LatticeScene.h"
#include "world/NodeManager.h"

namespace qm::bench {
namespace {

void Report(benchmark::State& state, const NodeManager& world, long long nodeSteps) {
    state.SetItemsProcessed(nodeSteps);
    state.counters["nodes"] = world.GetNodeCount();
    state.counters["links"] = static_cast<double>(world.Links().Size());
    state.counters["pairs_per_node"] = scene::NeighbourPairsPerNode(world);
    state.SetLabel(HashLabel(scene::StateHash(world)));
}

void BM_WorldStep(benchmark::State& state) {
    SetDebugSink([](std::string_view) {});  // the compiler prints the code string
    auto gene = scene::LatticeGene();
    const int count = static_cast<int>(state.range(0));
    auto world = std::make_unique<NodeManager>();
    scene::SeedLattice(*world, *gene, count);
    Seed(1);
    for (auto _ : state) world->Action();
    Report(state, *world, state.iterations() * count);
    SetDebugSink(nullptr);
}

// Grown untimed to step 1400 (16,384 nodes), then 100 steps timed; in the
// last of them every node divides.
void BM_CrowdStep(benchmark::State& state) {
    SetDebugSink([](std::string_view) {});
    auto gene = scene::CrowdGene();
    auto world = std::make_unique<NodeManager>();
    scene::GrowCrowd(*world, *gene, 3, static_cast<int>(state.range(0)));
    long long nodeSteps = 0;
    for (auto _ : state) {
        nodeSteps += world->GetNodeCount();
        world->Action();
    }
    Report(state, *world, nodeSteps);
    SetDebugSink(nullptr);
}

// Sizes with a fixed number of steps each, about a second of stepping apiece.
BENCHMARK(BM_WorldStep)->Arg(10)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(100)->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(1000)->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(10000)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldStep)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldStep)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdStep)->Arg(1400)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qm::bench
