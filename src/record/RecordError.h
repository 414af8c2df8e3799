#pragma once

#include <string>

namespace qm::record {

// A checkpoint or trace that cannot be written or read: `message` says which
// file and why, ready to show ("runs/step-00000080.h5: cut short: ...").
struct RecordError {
    std::string message;
};

}  // namespace qm::record
