#pragma once
// Reading a gene source file, with the reason when it cannot be read.

#include <optional>
#include <string>

namespace qm {

class Diagnostics;

// The text of the file, without a UTF-8 byte-order mark. Nothing when it
// cannot be a gene: it does not exist, is a directory, cannot be opened, is
// empty or is UTF-16; one line on `diagnostics` then says which. A file
// larger than kMaxGeneFileBytes raises a text error naming the limit, without
// being read. A file that holds nothing but code strings is refused with a
// text error that says how to turn it into gene source.
std::optional<std::string> ReadGeneFile(const char* fileName, const Diagnostics& diagnostics);

// True when the text is nothing but code strings (what `compile` prints, what
// a search records): gene source too, but it compiles to its first number alone.
bool HoldsOnlyCodeStrings(const std::string& text);

}  // namespace qm
