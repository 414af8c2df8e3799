// One world step of a lattice world of about 10 to 100,000 nodes. The number of
// steps is fixed per size, so the state after them, and its hash, is the same
// in every run: a change of the hash means a change of behaviour.

#include <benchmark/benchmark.h>

#include <memory>

#include "BenchSupport.h"
#include "base/Diagnostics.h"
#include "base/Random.h"
#include "support/LatticeScene.h"
#include "world/NodeManager.h"

namespace qm::bench {
namespace {

void BM_WorldStep(benchmark::State& state) {
    SetDebugSink([](std::string_view) {});  // the compiler prints the code string
    auto gene = scene::LatticeGene();
    const int count = static_cast<int>(state.range(0));
    auto world = std::make_unique<NodeManager>();
    scene::SeedLattice(*world, *gene, count);
    Seed(1);
    for (auto _ : state) world->Action();
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["nodes"] = world->GetNodeCount();
    state.counters["links"] = static_cast<double>(world->Links().Size());
    state.SetLabel(HashLabel(scene::StateHash(*world)));
    SetDebugSink(nullptr);
}

// Sizes with a fixed number of steps each, about a second of stepping apiece.
BENCHMARK(BM_WorldStep)->Arg(10)->Iterations(20000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(100)->Iterations(4000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(1000)->Iterations(400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorldStep)->Arg(10000)->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldStep)->Arg(100000)->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qm::bench
