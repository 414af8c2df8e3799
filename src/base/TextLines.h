#pragma once
// The process-wide list of text lines drawn over the scene in a drawn frame.

#include <string>
#include <vector>

namespace qm {

const std::vector<std::string>& TextLines();
void ClearTextLines();
void AddTextLine(std::string line);

}  // namespace qm
