#pragma once
// Whether an output can be written, asked before a run spends any time on it.

#include <optional>
#include <string>

namespace qm {

// Why a file cannot be made or replaced at `path`, or nothing. Asks the
// system without touching the file, so a refused output leaves nothing behind.
std::optional<std::string> CannotWrite(const std::string& path);

}  // namespace qm
