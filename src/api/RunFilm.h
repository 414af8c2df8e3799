#pragma once
// A run kept as frames for its web page (share::RunPage): every `every`-th
// step's nodes and links, in memory, as a trace would hold them. For a
// notebook, which has a live Run and no trace file.
//
//     RunFilm film(10);
//     film.Step(run, 300);                  // steps the run, keeping steps 0, 10, 20, ...
//     std::string html = film.Page(run);

#include <cstddef>
#include <memory>
#include <string>

#include "api/Run.h"

namespace qm {

namespace share {
class PageFrames;
}  // namespace share

class RunFilm {
  public:
    explicit RunFilm(long long every = 1);
    ~RunFilm();
    RunFilm(const RunFilm&) = delete;
    RunFilm& operator=(const RunFilm&) = delete;

    // Keeps the run's step on show if its number is one to keep and not kept yet.
    void Add(const Run& run);
    // Steps the run up to `n` times, keeping the steps to keep; the outcome as Run::Step gives it.
    RunOutcome::Kind Step(Run& run, long long n);

    std::size_t Count() const;
    long long Every() const;
    // The page of the frames kept, named by the run's manifest.
    std::string Page(const Run& run) const;

    // The run's world now as a trace's JSON line, and its step; empty before it has a world.
    static std::string TraceLineOf(const Run& run, long long& step);

  private:
    std::unique_ptr<share::PageFrames> frames;
};

// The page of one step alone: the run as it is now.
std::string PageOfRun(const Run& run);

// What a trace that cannot be read, or shows no step, raises.
using TraceError = RecordError;

// The page of a trace file, keeping the recorded steps whose number `every`
// divides. Throws TraceError as the trace reader does, and when no step is
// left to show.
std::string PageOfTrace(const std::string& path, long long every = 1);

}  // namespace qm
