#pragma once
// The process-wide registry of the primitives, and the compiler of gene source text.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gp/GPfunction.h"
#include "gp/GeneElement.h"
#include "gp/GeneLimits.h"

namespace qm {

class Diagnostics;

class GPmanager {
  public:
    static GPmanager* GetInstance();

    GPfunction* FindByCode(int kind, int index) const;
    GPfunction* FindByName(const std::string& name) const;

    // Compiles a gene source file into its code string; throws ErrorText.
    // The code string goes to `diagnostics` at the Detail level, and why a
    // file cannot be read at the Errors level.
    std::string GetCode(const char* fileName, const Diagnostics& diagnostics) const;
    // The same for gene source text in memory; `name` (a file's) starts the
    // places the hint of an error names ("source.txt:3:9").
    std::string Compile(const std::string& source, const Diagnostics& diagnostics,
                        std::string_view name = {}) const;
    // The primitive whose name is closest to `name` by edit distance (letter
    // case aside), when it is near enough to be a slip; else nothing.
    std::optional<std::string> ClosestName(std::string_view name) const;

    const std::vector<std::unique_ptr<GPfunction>>& Functions() const { return functions; }

  private:
    GPmanager();

    std::map<std::pair<int, int>, GPfunction*> byCode;
    std::map<std::string, GPfunction*> byName;
    std::vector<std::unique_ptr<GPfunction>> functions;
};

// The 42 primitives in registration order (defined in Primitives.cpp).
std::vector<std::unique_ptr<GPfunction>> CreatePrimitives();

// A number as the code string writes it: the stream's default formatting,
// without the "+" of a positive exponent (which would split the item).
std::string FormatCodeNumber(double value);

// The code string the compiler would write for these elements.
std::string CodeString(const std::vector<GeneElement>& code);

}  // namespace qm
