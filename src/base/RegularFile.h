#pragma once
// Inputs and replaced outputs are regular files. A FIFO or a device named as
// an input would hang its reader or never end, and renaming a finished file
// over a device node or a FIFO would replace the node itself.

#include <cstdio>
#include <optional>
#include <string>

namespace qm {

// Why `path` is not a regular file to read ("it is a FIFO, not a regular
// file", the system's reason, ...), or nothing. Never blocks: the file is
// opened without waiting for a writer, then looked at.
std::optional<std::string> NotRegularFile(const std::string& path);

// `path` opened for reading when it is a regular file (in blocking mode, as
// fopen gives); null and `why` set otherwise.
std::FILE* OpenRegularFile(const std::string& path, std::string& why);

// The whole of the regular file at `path`, or nothing and `why` set.
std::optional<std::string> ReadRegularFile(const std::string& path, std::string& why);

// Why `path` may not be replaced by a finished file: something other than a
// regular file is there. Nothing when it is absent or a regular file.
std::optional<std::string> CannotReplace(const std::string& path);

// Renames `temporary` to `path` unless CannotReplace refuses `path`; `why`
// says what went wrong when it returns false (`temporary` is left as it is).
bool ReplaceWith(const std::string& temporary, const std::string& path, std::string& why);

}  // namespace qm
