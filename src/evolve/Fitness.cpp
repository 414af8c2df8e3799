#include "evolve/Fitness.h"

#include <cstdlib>
#include <sstream>

#include "base/Diagnostics.h"

namespace qm::evolve {

double Fitness(std::span<const EvalResult> runs, long long stepBudget, int geneLength, double lengthPenalty) {
    if (runs.empty()) return kWorstFitness;
    double sum = 0.0;
    for (const EvalResult& run : runs) {
        switch (run.outcome) {
            case EvalResult::Outcome::Error:
                return kWorstFitness;
            case EvalResult::Outcome::GoalReached:
                sum += static_cast<double>(run.steps) / (static_cast<double>(stepBudget) + 1.0);
                break;
            case EvalResult::Outcome::Completed:
                sum += 1.0 + run.closest;
                break;
        }
    }
    return sum / static_cast<double>(runs.size()) + lengthPenalty * geneLength;
}

std::string EncodeResult(const EvalResult& result) {
    std::string text = FormatString("%d %lld %a %d %a %a %a %a %a %a", static_cast<int>(result.outcome),
                                    result.steps, result.closest, result.nodes, result.dx, result.dz,
                                    result.height, result.sizeError, result.score, result.taxis);
    if (result.python != decltype(result.python){}) {
        for (double v : result.python) text += FormatString(" %a", v);
    }
    return text;
}

bool DecodeResult(const std::string& text, EvalResult& result) {
    std::istringstream in(text);
    int outcome = -1;
    std::string closest;
    EvalResult r;
    if (!(in >> outcome >> r.steps >> closest >> r.nodes) || outcome < 0 || outcome > 2) return false;
    auto real = [](const std::string& word, double& out) {
        char* end = nullptr;
        out = std::strtod(word.c_str(), &end);
        return end != word.c_str() && *end == '\0';
    };
    if (!real(closest, r.closest)) return false;
    if (!(in >> std::ws).eof()) {
        std::string behaviour[4];
        if (!(in >> behaviour[0] >> behaviour[1] >> behaviour[2] >> behaviour[3])) return false;
        double* fields[4] = {&r.dx, &r.dz, &r.height, &r.sizeError};
        for (int i = 0; i < 4; ++i) {
            if (!real(behaviour[i], *fields[i])) return false;
        }
        std::string word;
        for (double* later : {&r.score, &r.taxis}) {
            if (!(in >> std::ws).eof() && (!(in >> word) || !real(word, *later))) return false;
        }
        if (!(in >> std::ws).eof()) {
            for (double& v : r.python) {
                if (!(in >> word) || !real(word, v)) return false;
            }
        }
        if (!(in >> std::ws).eof()) return false;
    }
    r.outcome = static_cast<EvalResult::Outcome>(outcome);
    result = r;
    return true;
}

}  // namespace qm::evolve
