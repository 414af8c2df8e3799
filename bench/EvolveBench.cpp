// Evaluations per second of the search at population 64: the first
// generation of a search from the hand-written walker (data/genes/walker.txt),
// each gene grown for 1,000 steps from seed 1, by 1 worker thread and by one
// per core. The results of the generation, hashed, are the label: the same
// for every number of workers.

#include <benchmark/benchmark.h>

#include <functional>

#include "BenchSupport.h"
#include "api/RunMany.h"
#include "evolve/Evaluator.h"
#include "evolve/Search.h"
#include "support/GeneSupport.h"

namespace qm::bench {
namespace {

constexpr const char* kWalker =
    "IFTE ( GT ( GETP 0.5 ) 0 )\n"
    "     ( IFTE ( LT ( GETP 0.7 ) ( GETP 0.5 ) ) DIE\n"
    "            ( PROG2 ( SETP 0.5 0 ) ( PROG2 CUTEDGE ( PROG2 ( SETP 0 1 ) ( GDIVIDE 0 ) ) ) ) )\n"
    "     ( IFTE ( GT ECOUNT 0.9 ) ( PROG2 ( SETP 0 1 ) ( GDIVIDE 0 ) )\n"
    "            ( PROG3 ( SETP 0.7 ( MUL SMELL 5000 ) ) ( SETP 0.5 ( MUL SMELL 10000 ) ) ( PULSE 0.5 ) ) "
    ")\n";

std::vector<evolve::Evaluation> FirstGeneration() {
    evolve::SearchSettings settings;
    settings.population = 64;
    settings.seed = 1;
    settings.maxLength = 80;
    settings.seedGenes = {evolve::ParseCode(test::CompileSource(kWalker))};
    const evolve::Search search(settings);
    std::vector<evolve::Evaluation> tasks;
    for (const evolve::GeneCode& gene : search.State().population) {
        evolve::Evaluation task;
        task.index = static_cast<int>(tasks.size());
        task.code = evolve::CodeString(gene);
        task.seed = 1;
        task.steps = 1000;
        task.maxNodes = 1000;
        tasks.push_back(task);
    }
    return tasks;
}

void BM_EvolveGeneration(benchmark::State& state) {
    const std::vector<evolve::Evaluation> tasks = FirstGeneration();
    const int workers = state.range(0) == 0 ? CoreCount() : static_cast<int>(state.range(0));
    evolve::ThreadEvaluator pool(workers);
    std::string results;
    for (auto _ : state) {
        results.clear();
        for (const evolve::EvalResult& r : pool.Evaluate(tasks)) results += evolve::EncodeResult(r) + "\n";
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(tasks.size()));
    state.counters["workers"] = workers;
    state.SetLabel(HashLabel(std::hash<std::string>{}(results)));
}

// 0 stands for one worker per core.
BENCHMARK(BM_EvolveGeneration)->Arg(1)->Arg(0)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace qm::bench
