#include "evolve/Evaluation.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "api/Run.h"
#include "base/Diagnostics.h"
#include "world/NodeManager.h"

namespace qm::evolve {
namespace {

bool ReadFloat(const std::string& text, float& out) {
    char* end = nullptr;
    out = std::strtof(text.c_str(), &end);
    return end != text.c_str() && *end == '\0';
}

}  // namespace

std::string EncodeTask(const EvalTask& task) {
    std::string text = FormatString("%d %u %lld %d ", task.index, task.seed, task.steps, task.maxNodes);
    if (task.goal) {
        text += FormatString("%a %a %a ", static_cast<double>(task.goal->x),
                             static_cast<double>(task.goal->y), static_cast<double>(task.goal->z));
    } else {
        text += "- - - ";
    }
    ForEachPhysicsKey([&](const char*, auto member, double, double) {
        text += FormatString("%a ", static_cast<double>(task.physics.*member));
    });
    return text + task.code;
}

bool DecodeTask(const std::string& text, EvalTask& task) {
    std::istringstream in(text);
    EvalTask t;
    std::string g[3];
    if (!(in >> t.index >> t.seed >> t.steps >> t.maxNodes >> g[0] >> g[1] >> g[2])) return false;
    bool read = true;
    ForEachPhysicsKey([&](const char*, auto member, double, double) {
        std::string word;
        char* end = nullptr;
        read = read && (in >> word);
        const double value = read ? std::strtod(word.c_str(), &end) : 0.0;
        read = read && end != word.c_str() && *end == '\0';
        using T = std::remove_reference_t<decltype(t.physics.*member)>;
        t.physics.*member = static_cast<T>(value);
    });
    if (!read || !(in >> t.code)) return false;
    if (!(in >> std::ws).eof()) return false;
    if (g[0] != "-") {
        Vector3 goal;
        if (!ReadFloat(g[0], goal.x) || !ReadFloat(g[1], goal.y) || !ReadFloat(g[2], goal.z)) return false;
        t.goal = goal;
    } else if (g[1] != "-" || g[2] != "-") {
        return false;
    }
    task = std::move(t);
    return true;
}

EvalResult EvaluateGene(const EvalTask& task) {
    EvalResult result;
    Diagnostics silent;
    silent.SetSink([](std::string_view) {});
    silent.SetErrorLogPath("");  // an empty name opens no file: the log is dropped
    std::optional<Gene> gene;
    try {
        gene = Gene::FromCode(task.code);
    } catch (const GeneError&) {
        result.outcome = EvalResult::Outcome::Error;
        return result;
    }
    Run run(*gene, RunSettings{task.seed, task.goal, task.maxNodes, task.steps, task.physics},
            std::move(silent));
    if (!run.Start()) {
        result.outcome = EvalResult::Outcome::Error;
        return result;
    }
    while (!run.Ended()) run.Step();
    result.closest = run.Closest();
    result.nodes = run.World()->GetNodeCount();
    result.steps = run.Steps();
    switch (run.Outcome().kind) {
        case RunOutcome::Kind::GoalReached:
            result.outcome = EvalResult::Outcome::GoalReached;
            result.steps = run.Steps() + 1;
            break;
        case RunOutcome::Kind::Completed:
            result.outcome = EvalResult::Outcome::Completed;
            break;
        default:
            result.outcome = EvalResult::Outcome::Error;
            break;
    }
    return result;
}

}  // namespace qm::evolve
