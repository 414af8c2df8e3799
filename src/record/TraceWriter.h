#pragma once
// Writing a run's trace: JSON lines or HDF5 (a name ending in ".h5"). Either
// starts with the run's manifest and then takes one recorded step at a time.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace qm {
class NodeManager;
}

namespace qm::record {

struct TraceHeader {
    std::string manifestJson;  // Manifest::Json()
    std::string resumedFrom;   // the checkpoint a resumed run went on from, or ""
    long long resumedStep = 0;
};

class TraceWriter {
  public:
    virtual ~TraceWriter() = default;
    // The world after `step` steps. Throws RecordError when it cannot be written.
    virtual void Write(long long step, const NodeManager& world) = 0;
    // Everything written so far is in the file (also done now and then on
    // the way, so a run that is killed leaves a trace that can be read).
    // Throws RecordError when it cannot be written.
    virtual void Flush() = 0;
    // Writes what is left and closes the file; throws RecordError when that
    // fails. A writer that failed before closes quietly: that was reported.
    virtual void Close() = 0;
};

// True for a name that asks for the HDF5 format.
bool IsHdf5Name(const std::string& path);

// Creates the trace at `path` ("-": `standardOut`, as JSON lines) and writes
// its header: for JSON lines the first line, {"manifest":{...}} with
// ,"resumed_from":{"checkpoint":"...","step":K} for a resumed run. Throws
// RecordError when the file cannot be created.
std::unique_ptr<TraceWriter> OpenTraceWriter(const std::string& path, const TraceHeader& header,
                                             std::FILE* standardOut);

// What going on with the trace of a resumed run keeps of it (found before
// anything is written): its header and every recorded step up to the
// checkpoint's; the steps after that (a run killed after its checkpoint
// recorded some) are dropped and made again.
struct TraceContinuation {
    std::string path;
    bool hdf5 = false;
    long long keepThrough = -1;                     // the last recorded step kept
    std::uint64_t bytes = 0;                        // JSON lines: the bytes kept
    std::uint64_t steps = 0, nodes = 0, links = 0;  // HDF5: the rows kept of each table
    TraceHeader header;                             // HDF5: the attributes it had
};

// Checks that the trace at `path` was written by the run whose manifest is
// `manifestJson` (the same RunIdentity and step interval `traceEvery`) and
// holds every step it recorded up to `step`. Throws RecordError saying why
// it cannot be continued.
TraceContinuation CheckTraceToContinue(const std::string& path, const std::string& manifestJson,
                                       long long step, int traceEvery);

// Drops what the trace holds past the step kept and opens it to take the
// next steps. An HDF5 trace is copied up to there into a new file that takes
// its name once whole. Throws RecordError.
std::unique_ptr<TraceWriter> ContinueTraceWriter(const TraceContinuation& kept);

}  // namespace qm::record
