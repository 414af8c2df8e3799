#pragma once
// An evaluation in a child process of its own. The child is forked from a
// process that has grown no world, so it starts as a plain run starts (node
// ids from 0, the generator seeded by the task) and leaves nothing behind in
// the parent; a gene that crashes or exhausts memory takes only the child down.

#include <sys/types.h>

#include "evolve/Evaluation.h"

namespace qm::evolve {

class EvaluationProcess {
  public:
    // Forks the child, which evaluates the task and writes its result to a pipe.
    explicit EvaluationProcess(EvalTask task);
    // A child still running is killed and reaped.
    ~EvaluationProcess();
    EvaluationProcess(const EvaluationProcess&) = delete;
    EvaluationProcess& operator=(const EvaluationProcess&) = delete;

    // Readable once the child has written its result or died.
    int Fd() const { return fd; }
    const EvalTask& Task() const { return task; }

    // Reads the result and reaps the child (it blocks until the child ends).
    // Throws SearchError when the child ended without a result.
    EvalResult Finish();

  private:
    EvalTask task;
    pid_t pid = -1;
    int fd = -1;
};

// One evaluation in a child process, start to finish.
EvalResult EvaluateInChild(const EvalTask& task);

// True when QM_EVOLVE_FAULT asks `what` (worker, rank) number `number` to
// die: a test of how the search reports a lost process.
bool FaultInjected(const char* what, int number);

}  // namespace qm::evolve
