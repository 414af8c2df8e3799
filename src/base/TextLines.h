#pragma once
// The text lines drawn over the scene in a drawn frame: the dump of the
// selected node. A run keeps its own (in its RunContext).

#include <string>
#include <vector>

namespace qm {

class TextLines {
  public:
    const std::vector<std::string>& Lines() const { return lines; }
    void Clear() { lines.clear(); }
    void Add(std::string line) { lines.push_back(std::move(line)); }

  private:
    std::vector<std::string> lines;
};

}  // namespace qm
