#pragma once
// Collects everything DebugPrint writes while it lives; the default sink is
// restored afterwards. Captures do not nest.

#include <string>

namespace qm::test {

class DebugCapture {
  public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    const std::string& Text() const { return text; }
    void Clear() { text.clear(); }

  private:
    std::string text;
};

}  // namespace qm::test
