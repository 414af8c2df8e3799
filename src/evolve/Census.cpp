#include "evolve/Census.h"

#include <algorithm>

#include "base/Diagnostics.h"
#include "evolve/SearchOutput.h"

namespace qm::evolve {
namespace {

// Genes grown per batch: enough to keep every worker busy, few enough that
// progress shows often.
constexpr long long kBatch = 256;

Evaluation TaskOf(const SearchSettings& s, const GeneCode& code, const Vector3& goal, int index) {
    Evaluation task;
    task.index = index;
    task.code = CodeString(code);
    task.seed = s.evalSeeds.front();
    task.steps = s.steps;
    task.maxNodes = s.maxNodes;
    task.goal = goal;
    task.physics = s.physics;
    task.settle = true;
    return task;
}

std::string Field(const EvalResult& r) {
    const char* outcome = r.outcome == EvalResult::Outcome::GoalReached ? "goal"
                          : r.outcome == EvalResult::Outcome::Error     ? "error"
                                                                        : "completed";
    return FormatString("%s,%s,%d,", outcome, ExactDecimal(r.taxis).c_str(), r.nodes);
}

}  // namespace

bool CensusEntry::Heads() const {
    auto toward = [](const EvalResult& r) {
        return r.outcome == EvalResult::Outcome::GoalReached ||
               (r.outcome == EvalResult::Outcome::Completed && r.taxis >= kCensusTaxis);
    };
    return toward(ahead) && toward(behind);
}

std::vector<CensusEntry> Census(const SearchSettings& s, long long n, Evaluator& evaluator,
                                const std::function<void(long long, long long)>& progress) {
    SearchRandom random(s.seed);
    const std::vector<Vector3> around = AroundTheStart(s.goal);
    const Vector3 ahead = around[0], behind = around[2];
    std::vector<CensusEntry> entries;
    long long heading = 0;
    while (static_cast<long long>(entries.size()) < n) {
        const std::size_t first = entries.size();
        std::vector<Evaluation> tasks;
        for (long long i = 0; i < kBatch && static_cast<long long>(entries.size()) < n; ++i) {
            CensusEntry entry;
            entry.id = static_cast<long long>(entries.size());
            entry.code = MakeRandomGene(s.init, random, s.maxLength);
            tasks.push_back(TaskOf(s, entry.code, ahead, static_cast<int>(tasks.size())));
            tasks.push_back(TaskOf(s, entry.code, behind, static_cast<int>(tasks.size())));
            entries.push_back(std::move(entry));
        }
        const std::vector<EvalResult> results = evaluator.Evaluate(tasks);
        for (std::size_t i = first; i < entries.size(); ++i) {
            entries[i].ahead = results[2 * (i - first)];
            entries[i].behind = results[2 * (i - first) + 1];
            if (entries[i].Heads()) ++heading;
        }
        if (progress) progress(static_cast<long long>(entries.size()), heading);
    }
    return entries;
}

std::string CensusTable(const SearchSettings& s, const std::vector<CensusEntry>& entries) {
    std::string text = FormatString(
        "# "
        "{\"init\":\"%s\",\"seed\":%u,\"eval_seed\":%u,\"steps\":%lld,\"max_nodes\":%d,\"max_length\":%d}\n",
        InitName(s.init), s.seed, s.evalSeeds.front(), s.steps, s.maxNodes, s.maxLength);
    text +=
        "id,heads,ahead_outcome,ahead_taxis,ahead_nodes,behind_outcome,behind_taxis,behind_nodes,length,"
        "code\n";
    for (const CensusEntry& e : entries) {
        text += FormatString("%lld,%d,", e.id, e.Heads() ? 1 : 0) + Field(e.ahead) + Field(e.behind) +
                FormatString("%zu,\"", e.code.size()) + CodeString(e.code) + "\"\n";
    }
    return text;
}

}  // namespace qm::evolve
