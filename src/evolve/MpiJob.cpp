#include "evolve/MpiJob.h"

#include <mpi.h>

#include <csignal>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "base/Diagnostics.h"
#include "evolve/Evaluator.h"
#include "evolve/SearchError.h"

namespace qm::evolve {
namespace {

enum Tag : int { kTask = 1, kResult = 2, kFailed = 3, kStop = 4 };

void Send(const std::string& text, int to, int tag) {
    MPI_Send(text.data(), static_cast<int>(text.size()), MPI_CHAR, to, tag, MPI_COMM_WORLD);
}

// Waits for the next message from `from` (or any rank) without spinning: an
// idle rank must leave its core to the evaluations of the ranks beside it.
std::string Receive(int from, MPI_Status& status) {
    const timespec pause{0, 200000};  // 0.2 ms
    for (;;) {
        int arrived = 0;
        MPI_Iprobe(from, MPI_ANY_TAG, MPI_COMM_WORLD, &arrived, &status);
        if (arrived) break;
        nanosleep(&pause, nullptr);
    }
    int count = 0;
    MPI_Get_count(&status, MPI_CHAR, &count);
    std::string text(static_cast<std::size_t>(count), '\0');
    MPI_Recv(text.data(), count, MPI_CHAR, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
             MPI_STATUS_IGNORE);
    return text;
}

class MpiEvaluator final : public Evaluator {
  public:
    explicit MpiEvaluator(int size) : size(size) {}
    ~MpiEvaluator() override {
        for (int rank = 1; rank < size; ++rank) Send("", rank, kStop);
    }
    MpiEvaluator(const MpiEvaluator&) = delete;
    MpiEvaluator& operator=(const MpiEvaluator&) = delete;

    // Each rank holds one task at a time and gets the next as soon as it answers.
    std::vector<EvalResult> Evaluate(const std::vector<Evaluation>& tasks) override {
        std::vector<EvalResult> results(tasks.size());
        std::vector<std::size_t> held(static_cast<std::size_t>(size));
        std::size_t next = 0;
        int busy = 0;
        for (int rank = 1; rank < size && next < tasks.size(); ++rank, ++next, ++busy) {
            held[static_cast<std::size_t>(rank)] = next;
            Send(EncodeEvaluation(tasks[next]), rank, kTask);
        }
        while (busy > 0) {
            MPI_Status status;
            const std::string text = Receive(MPI_ANY_SOURCE, status);
            const int rank = status.MPI_SOURCE;
            const std::size_t slot = held[static_cast<std::size_t>(rank)];
            if (status.MPI_TAG == kFailed) throw SearchError{FormatString("MPI rank %d: ", rank) + text};
            if (status.MPI_TAG != kResult || !DecodeResult(text, results[slot])) {
                throw SearchError{FormatString("MPI rank %d sent a message that is no result", rank)};
            }
            --busy;
            if (next < tasks.size()) {
                held[static_cast<std::size_t>(rank)] = next;
                Send(EncodeEvaluation(tasks[next]), rank, kTask);
                ++next;
                ++busy;
            }
        }
        return results;
    }

    std::string Describe() const override {
        return FormatString("%d MPI rank%s evaluating", size - 1, size == 2 ? "" : "s");
    }

  private:
    int size;
};

}  // namespace

bool MpiBuilt() { return true; }

MpiJob::MpiJob() {
    MPI_Init(nullptr, nullptr);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
}

MpiJob::~MpiJob() { MPI_Finalize(); }

std::unique_ptr<Evaluator> MpiJob::Coordinator() { return std::make_unique<MpiEvaluator>(size); }

void MpiJob::Serve() {
    // QM_EVOLVE_FAULT=rank:N: rank N is lost as its first task reaches it.
    const bool lost = InjectedFault("rank") == rank;
    for (;;) {
        MPI_Status status;
        const std::string text = Receive(0, status);
        if (status.MPI_TAG == kStop) return;
        if (lost) std::raise(SIGKILL);
        Evaluation task;
        if (status.MPI_TAG != kTask || !DecodeEvaluation(text, task)) {
            Send("received a message that is no evaluation task", 0, kFailed);
            continue;
        }
        try {
            Send(EncodeResult(EvaluateGene(task)), 0, kResult);
        } catch (const std::bad_alloc&) {
            Send("an evaluation ran out of memory", 0, kFailed);
        }
    }
}

void MpiJob::Abort(int status) {
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);
}

}  // namespace qm::evolve
