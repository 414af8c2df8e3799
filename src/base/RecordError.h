#pragma once
// What a run's files raise: the record layer's error, named here so that the
// callers of api catch it without reaching into record.

#include <string>

namespace qm {

// A checkpoint or trace that cannot be written or read: `message` says which
// file and why, ready to show ("runs/step-00000080.h5: cut short: ...").
struct RecordError {
    std::string message;
};

}  // namespace qm
