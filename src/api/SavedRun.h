#pragma once
// Where a run goes on from: a checkpoint file, or the newest checkpoint of a
// folder of one run's checkpoints that reads whole (a run killed while it
// wrote one leaves the one before whole). quillmoth-sim's --resume and the
// Python package's Run.load both read it through Run::Resume or here.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qm {

namespace record {
struct RunState;
}  // namespace record

struct SavedRun {
    std::string path;                         // the checkpoint read
    std::unique_ptr<record::RunState> state;  // read through record/RunState.h
};

bool IsFolder(const std::string& path);
// The checkpoints of `dir` (step-NNNNNNNN.h5; not the temporary files of one
// being written), newest first.
std::vector<std::string> CheckpointsIn(const std::string& dir);
// The newest checkpoint of `dir` that reads whole; why each newer one was
// skipped goes to `skipped`.
std::optional<SavedRun> NewestCheckpoint(const std::string& dir, std::vector<std::string>* skipped);
// A checkpoint, or the newest whole one of a folder. Throws RecordError.
SavedRun ReadSavedRun(const std::string& path, std::vector<std::string>* skipped = nullptr);

}  // namespace qm
