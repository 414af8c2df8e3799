#pragma once
// A gene as a user holds it: compiled from a source file or from source text,
// or read back from a code string. A gene that cannot be made raises
// GeneError with the text a run would log for it.

#include <string>
#include <vector>

#include "gp/GeneElement.h"

namespace qm {

class Diagnostics;

struct GeneError {
    std::string text;    // the error log's text, e.g. "GPmanager::GetCode; 不正なコードです\n"
    std::string detail;  // why, where the compiler said more (a file that cannot be read)
    std::string hint{};  // the same in plain words, with the place ("unknown primitive X at f.txt:1:9; ...")
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
    const std::string& File() const { return file; }

  private:
    std::vector<GeneElement> elements;
    std::string file;
};

}  // namespace qm
