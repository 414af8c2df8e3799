#pragma once
// Collects everything one Diagnostics writes while the capture lives: a run's
// (given), or one of the capture's own for code that takes a Diagnostics.
// The stderr sink is restored afterwards. Captures of one Diagnostics do not nest.

#include <string>

#include "base/Diagnostics.h"

namespace qm::test {

class DebugCapture {
  public:
    DebugCapture() : DebugCapture(own) {}
    explicit DebugCapture(Diagnostics& captured);
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;
    const std::string& Text() const { return text; }
    void Clear() { text.clear(); }
    // The Diagnostics captured.
    Diagnostics& Target() const { return captured; }

  private:
    Diagnostics own;
    Diagnostics& captured;
    std::string text;
};

}  // namespace qm::test
