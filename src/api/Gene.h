#pragma once
// A gene as a user holds it: compiled from a source file or from source text,
// or read back from a code string. A gene that cannot be made raises
// GeneError with the text a run would log for it.

#include <optional>
#include <string>
#include <vector>

#include "gp/GeneElement.h"
#include "gp/GeneFile.h"

namespace qm {

class Diagnostics;

struct GeneError {
    std::string text;    // the error log's text, e.g. "GPmanager::GetCode; 不正なコードです\n"
    std::string detail;  // why, where the compiler said more (a file that cannot be read)
    std::string hint{};  // the same in plain words, with the place ("unknown primitive X at f.txt:1:9; ...")
};

// A gene file as read once: its path, its bytes and their hash. A run compiles,
// records and saves these bytes; a file changed afterwards changes nothing of
// the gene made from it.
struct GeneSource {
    std::string path;
    GeneBytes read;      // or why the file could not be read
    std::string sha256;  // of read.bytes, in hex; empty when the file could not be read

    static GeneSource Read(const std::string& path);
};

class Gene {
  public:
    // Compiles a gene source file. `diagnostics` receives the compiler's texts
    // (the code string at the Detail level); without it they go nowhere.
    static Gene FromFile(const std::string& path);
    static Gene FromFile(const std::string& path, const Diagnostics& diagnostics);
    // Compiles gene source text held in memory.
    static Gene FromSource(const std::string& text);
    // Reads a code string ("1,0+0,0,0.5+").
    static Gene FromCode(const std::string& code);

    // The code string.
    std::string Code() const;
    // The program as the engine reads it, indented, one element a line.
    std::string Dump() const;
    const std::vector<GeneElement>& Elements() const { return elements; }
    // The file it was compiled from, or empty.
    const std::string& File() const { return source ? source->path : kNoFile; }
    // The file as it was read when the gene was compiled; null for a gene not made from a file.
    const GeneSource* Source() const { return source ? &*source : nullptr; }

  private:
    static const std::string kNoFile;
    std::vector<GeneElement> elements;
    std::optional<GeneSource> source;
};

}  // namespace qm
