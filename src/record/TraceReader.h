#pragma once
// Reading a recorded run back, step by step, from a trace of either format
// (JSON lines or HDF5, told apart by the file's first bytes).
//
//     record::TraceReader trace("run.jsonl");        // throws RecordError
//     record::TraceFrame frame;
//     for (std::size_t i = 0; trace.Read(i, frame); ++i) Show(frame);
//     if (!trace.Stopped().empty()) Say(trace.Stopped());
//
// A trace that is cut short or damaged part-way yields every whole step
// before the fault; Read then returns false and Stopped() says where and why
// ("run.jsonl: line 82 is not a whole step (at byte 1024: the line ends
// inside a value); the trace stops after step 80"). Steps may be read in any
// order: the reader remembers where each step it has seen begins.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "record/RecordError.h"
#include "record/TraceFrame.h"

namespace qm::record {

class TraceReader {
  public:
    // Opens the trace. Throws RecordError when it cannot be read at all: it is
    // missing, empty, neither format, or an HDF5 file that is not a trace.
    explicit TraceReader(const std::string& path);
    ~TraceReader();
    TraceReader(const TraceReader&) = delete;
    TraceReader& operator=(const TraceReader&) = delete;

    // "json" or "hdf5".
    const std::string& Format() const;
    // The run's manifest as JSON text (Manifest::Json()); "" for a trace written without one.
    const std::string& ManifestJson() const;

    // The `index`-th recorded step (0: the first in the file) into `frame`.
    // False when there is no such whole step; `frame` is then unchanged.
    bool Read(std::size_t index, TraceFrame& frame);

    // The whole steps seen so far; all of them once Read has returned false.
    std::size_t StepsFound() const;
    // True once the end of the trace, or its fault, has been reached.
    bool Finished() const;
    // "" while nothing is wrong; otherwise where the trace stops and why.
    const std::string& Stopped() const;

    class Source;  // one per format

  private:
    std::unique_ptr<Source> source;
};

// Every whole step of a trace at once (for small traces and tools).
struct TraceContents {
    std::string format;
    std::string manifestJson;
    std::vector<TraceFrame> frames;
    std::string stopped;  // as TraceReader::Stopped()
};
// Throws RecordError as TraceReader's constructor does.
TraceContents ReadTrace(const std::string& path);

}  // namespace qm::record
