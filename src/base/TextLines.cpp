#include "base/TextLines.h"

namespace qm {
namespace {
std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
}
}  // namespace

const std::vector<std::string>& TextLines() { return Lines(); }

void ClearTextLines() { Lines().clear(); }

void AddTextLine(std::string line) { Lines().push_back(std::move(line)); }

}  // namespace qm
