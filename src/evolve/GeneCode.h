#pragma once
// Genes as the search handles them: element lists checked for shape, turned
// into code strings (what a node loads) and into gene source text (what a
// user reads and `run` compiles), both exact.

#include <string>
#include <vector>

#include "gp/GPmanager.h"
#include "gp/GeneElement.h"

namespace qm {
class Diagnostics;
}

namespace qm::evolve {

using GeneCode = std::vector<GeneElement>;

using qm::CodeString;

// Loads a code string (Unit::Parse); throws ErrorText on a malformed one.
GeneCode ParseCode(const std::string& codeString);

// Gene source text with the primitives' names, indented, ending in a line
// break. Constants are written as the code string writes them, so a gene
// whose constants are Normalised compiles back to exactly the same code.
std::string SourceText(const GeneCode& code);

// Rounds every constant to six decimals and six significant digits: what
// both the code string and the dump keep. The gene the search evaluates is
// then the gene its file holds, and its dump compiles back to it too.
void Normalise(GeneCode& code);

// Depth of the deepest element (the root is at depth 1); 0 for an empty code.
int Depth(const GeneCode& code);

// Empty when the code is one complete prefix tree (the running sum of
// 1 - kind first reaches 1 at its last element) of known primitives, at most
// maxLength elements and within the compiler's depth limit; otherwise why not.
std::string ShapeProblem(const GeneCode& code, int maxLength);

// Compiles a gene source file (GPmanager::GetCode) and loads it; throws
// ErrorText like `run` does for a file it cannot use.
GeneCode LoadGeneFile(const std::string& path, const Diagnostics& diagnostics);

}  // namespace qm::evolve
