#pragma once
// One evaluation: a gene grown once from one seed, exactly as
// `quillmoth-sim run --seed SEED --steps STEPS --max-nodes N [--goal X,Y,Z]`
// grows it from a file holding the gene, while the closest approach of any
// node to the goal is followed step by step.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/Physics.h"
#include "evolve/Fitness.h"
#include "math/D3dxTypes.h"

namespace qm {
class Run;
}

namespace qm::evolve {

// What one evaluation runs: a work item of a batch, which an Evaluator may
// send to another thread or process. (What it is scored for is the Task.)
struct Evaluation {
    int index = 0;     // place in its batch; results come back in this order
    std::string code;  // the gene's code string
    std::uint32_t seed = 1;
    long long steps = 1000;
    int maxNodes = 1000;
    std::optional<Vector3> goal;  // the world's own goal when not set
    Physics physics;
    int holdNodes = 0;  // the N of task size N, for EvalResult::sizeError; 0 when not wanted
    // Stop as soon as the outcome is settled (task taxis): when no node is
    // left, or a division would pass the node cap, the run counts as
    // completed at its last whole step (its steps those that ran), measured
    // there: a creature that heads for the goal while it grows keeps the way
    // it made before the cap.
    bool settle = false;
    bool history = false;  // the run keeps its RunHistory, for a fitness of its own (not encoded)
};

// One line of text that reads back exactly, for pipes and MPI messages.
std::string EncodeEvaluation(const Evaluation& task);
// False when the text is not an evaluation EncodeEvaluation wrote.
bool DecodeEvaluation(const std::string& text, Evaluation& task);

// Runs the evaluation: a Run of its own, whose debug text and error log go
// nowhere. What the creature did (EvalResult's behaviour fields) is read
// from the world between steps and changes nothing in it. It shares nothing with any other run, so
// evaluations on threads side by side each give exactly what the same run gives alone.
EvalResult EvaluateGene(const Evaluation& task);
// The same evaluation, which also hands back the finished run (empty when
// the gene did not load or the run did not start), for a fitness of its own.
EvalResult EvaluateGene(const Evaluation& task, std::unique_ptr<Run>& finished);

}  // namespace qm::evolve
