// One world step of a lattice world of 10 to 1,000,000 nodes, the first steps
// of such lattices at the same density, and the crowd
// users grow (one node that divides every 100 steps, timed from 16,384 nodes
// to 32,768). The number of steps is fixed per scene, so the state after them,
// and its hash, is the same in every run: a change of the hash means a change
// of behaviour (bench/scene_hashes.txt holds the hashes; scripts/bench
// --validate and a test compare them).

#include <benchmark/benchmark.h>

#include <memory>
#include <string_view>

#include "BenchSupport.h"
#include "base/RunContext.h"
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

// A run of its own for each benchmark, its debug text dropped.
struct QuietRun : RunContext {
    QuietRun() {
        diagnostics.SetSink([](std::string_view) {});
    }
};

void BM_WorldStep(benchmark::State& state) {
    auto gene = scene::LatticeGene();
    const int count = static_cast<int>(state.range(0));
    QuietRun run;
    auto world = std::make_unique<NodeManager>(run);
    scene::SeedLattice(*world, *gene, count);
    run.random.Seed(1);
    for (auto _ : state) world->Action();
    Report(state, *world, state.iterations() * count);
}

// The first three steps of a freshly seeded lattice, again and again: every
// size is timed at the same density, where BM_WorldStep's small worlds have
// spread out over their thousands of steps (the pairs_per_node counter shows
// it). The per-node cost of this one is what stays flat or not.
void BM_LatticeFirstSteps(benchmark::State& state) {
    auto gene = scene::LatticeGene();
    const int count = static_cast<int>(state.range(0));
    QuietRun run;
    std::unique_ptr<NodeManager> world;
    double pairs = 0.0;
    int step = 3;
    for (auto _ : state) {
        if (step == 3) {
            state.PauseTiming();
            world.reset();
            world = std::make_unique<NodeManager>(run);
            scene::SeedLattice(*world, *gene, count);
            pairs += scene::NeighbourPairsPerNode(*world);
            run.random.Seed(1);
            step = 0;
            state.ResumeTiming();
        }
        world->Action();
        ++step;
    }
    Report(state, *world, state.iterations() * count);
    state.counters["pairs_per_node"] = pairs / static_cast<double>((state.iterations() + 2) / 3);
}

// Grown untimed to step 1400 (16,384 nodes), then 100 steps timed; in the
// last of them every node divides.
void BM_CrowdStep(benchmark::State& state) {
    auto gene = scene::CrowdGene();
    QuietRun run;
    auto world = std::make_unique<NodeManager>(run);
    scene::GrowCrowd(*world, *gene, 3, static_cast<int>(state.range(0)));
    long long nodeSteps = 0;
    for (auto _ : state) {
        nodeSteps += world->GetNodeCount();
        world->Action();
    }
    Report(state, *world, nodeSteps);
}

// Sizes with a fixed number of steps each, about a second of stepping apiece.
BENCHMARK(BM_WorldStep)->Arg(10)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(100)->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(1000)->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(10000)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldStep)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldStep)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LatticeFirstSteps)->Arg(1000)->Iterations(1500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LatticeFirstSteps)->Arg(10000)->Iterations(150)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LatticeFirstSteps)->Arg(100000)->Iterations(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LatticeFirstSteps)->Arg(1000000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CrowdStep)->Arg(1400)->Iterations(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qm::bench
