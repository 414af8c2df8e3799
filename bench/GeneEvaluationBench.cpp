// One evaluation of a gene of 10, 50 and 500 elements on a node of a world.
// The number of evaluations is fixed per size, so the node's parameters and
// the sum of the results, hashed, are the same in every run.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "BenchSupport.h"
#include "base/RunContext.h"
#include "node/TNode.h"
#include "support/LatticeScene.h"
#include "world/NodeManager.h"

namespace qm::bench {
namespace {

void BM_GeneEvaluation(benchmark::State& state) {
    const int elements = static_cast<int>(state.range(0));
    auto gene = scene::ArithmeticGene(elements);
    RunContext run;
    auto world = std::make_unique<NodeManager>(run);
    TNode* node = world->NewNode(gene.get());
    double sum = 0.0;
    for (auto _ : state) {
        double value = node->unit->Evaluate();
        benchmark::DoNotOptimize(value);
        sum += value;
    }
    state.SetItemsProcessed(state.iterations() * elements);
    std::uint64_t h = 14695981039346656037ull;
    auto add = [&h](double v) {
        unsigned char bytes[sizeof v];
        std::memcpy(bytes, &v, sizeof v);
        for (unsigned char b : bytes) h = (h ^ b) * 1099511628211ull;
    };
    add(sum);
    for (double p : node->param) add(p);
    for (double d : node->diffRate) add(d);
    state.SetLabel(HashLabel(h));
}

BENCHMARK(BM_GeneEvaluation)->Arg(10)->Iterations(2000000)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_GeneEvaluation)->Arg(50)->Iterations(500000)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_GeneEvaluation)->Arg(500)->Iterations(50000)->Unit(benchmark::kNanosecond);

}  // namespace
}  // namespace qm::bench
