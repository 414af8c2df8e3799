#include "support/DebugCapture.h"

#include <string_view>

namespace qm::test {

DebugCapture::DebugCapture(Diagnostics& captured) : captured(captured) {
    captured.SetSink([this](std::string_view piece) { text.append(piece); });
}

DebugCapture::~DebugCapture() { captured.SetSink(nullptr); }

}  // namespace qm::test
