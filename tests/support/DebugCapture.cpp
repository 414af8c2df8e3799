#include "support/DebugCapture.h"

#include <string_view>

#include "base/Diagnostics.h"

namespace qm::test {

DebugCapture::DebugCapture() {
    SetDebugSink([this](std::string_view piece) { text.append(piece); });
}

DebugCapture::~DebugCapture() { SetDebugSink(nullptr); }

}  // namespace qm::test
