#pragma once
// Writing a run's trace: JSON lines or HDF5 (a name ending in ".h5"). Either
// starts with the run's manifest and then takes one recorded step at a time.

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

}  // namespace qm::record
