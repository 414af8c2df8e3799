#pragma once
// Reading a gene source file, with the reason when it cannot be read. A file
// is read once (ReadGeneBytes) and its bytes checked as gene source
// (GeneText): a run compiles and records the same bytes.

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

// A gene file's bytes as they were read, up to one byte past
// kMaxGeneFileBytes, or why they could not be read.
struct GeneBytes {
    std::string bytes;
    std::string unreadable;  // the reason ("it is a directory"); empty when read
    bool Read() const { return unreadable.empty(); }
};
GeneBytes ReadGeneBytes(const char* fileName);
// What ReadGeneFile gives for a file that held these bytes, said and refused alike.
std::optional<std::string> GeneText(const GeneBytes& read, const char* fileName,
                                    const Diagnostics& diagnostics);
// What GPmanager::GetCode gives for a file that held these bytes.
std::string CompileGeneFile(const GeneBytes& read, const char* fileName, const Diagnostics& diagnostics);

// True when the text is nothing but code strings (what `compile` prints, what
// a search records): gene source too, but it compiles to its first number alone.
bool HoldsOnlyCodeStrings(const std::string& text);

}  // namespace qm
