#pragma once
// How the engine's failures reach Python: GeneError with its place and hint
// as `quillmoth-sim compile` prints them, and the failures of files as the
// OSError subclasses Python gives for them (FileNotFoundError, ...).

#include <pybind11/pybind11.h>

#include <string>

namespace qm::python {

// Defines quillmoth.GeneError (a ValueError) and turns qm::GeneError into it.
void RegisterErrors(pybind11::module_& m);

// Raises the OSError Python gives for `path` (FileNotFoundError for a missing
// one, IsADirectoryError, PermissionError) when it cannot be opened to read.
void CheckReadable(const std::string& path);

// A file that could not be written or read: OSError with `message`.
[[noreturn]] void ThrowOSError(const std::string& message);

}  // namespace qm::python
