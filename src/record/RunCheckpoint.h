#pragma once
// Checkpoint files: a RunState in HDF5, readable from Python with h5py.
//
// The file opens with a 512-byte header of text that HDF5 leaves alone (its
// user block):
//
//     QUILLMOTH CHECKPOINT
//     format 2
//     bytes 123456
//     sha256 <64 hex digits of the SHA-256 of every byte after the header>
//
// so a file that is cut short, damaged, of a newer format or not a checkpoint
// at all is refused before HDF5 reads any of it. The HDF5 part holds the
// manifest (root attribute "manifest", and group /manifest), the run's
// counters (/run), the driver (/driver) and the world (/world: the table of
// nodes, their partners, the grid's cells, the dying nodes, the genes).
// docs/trace.md lists every dataset.

#include <string>

#include "record/RecordError.h"
#include "record/RunState.h"

namespace qm::record {

// Format 2 added the physics (/driver/physics) and each node's lineage
// (/world/parents, /world/births); a checkpoint of format 1 still reads,
// made under the default physics, its nodes' lineage unknown.
inline constexpr int kCheckpointFormat = 2;
inline constexpr int kOldestCheckpointFormat = 1;
inline constexpr std::size_t kCheckpointHeaderBytes = 512;

// "DIR/step-00000080.h5": the name of the checkpoint after `step` steps.
std::string CheckpointName(const std::string& dir, long long step);

// Writes `state` to `path`: to a temporary file in the same folder first,
// renamed to `path` once whole, so a crash never leaves a half file under
// the real name. Throws RecordError.
void WriteCheckpoint(const std::string& path, const RunState& state);

// Removes from `dir` the temporary files of checkpoints whose writing was
// cut short (the run was killed): step-NNNNNNNN.h5.partial-XXXXXX.
void RemovePartialCheckpoints(const std::string& dir);

// Reads the checkpoint at `path` and checks it (CheckRun). Throws RecordError
// whose message names the file and says why: it is missing, not a
// checkpoint, of another format version, cut short, damaged, or inconsistent.
RunState ReadCheckpoint(const std::string& path);

}  // namespace qm::record
