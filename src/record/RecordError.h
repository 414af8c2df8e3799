#pragma once

#include "base/RecordError.h"

namespace qm::record {

// The record layer raises base's RecordError by its own name.
using RecordError = qm::RecordError;

}  // namespace qm::record
