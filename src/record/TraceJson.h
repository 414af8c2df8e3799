#pragma once
// The JSON-lines trace: writing a world's step as one line, and reading such
// lines back. Single-precision values are written with 9 significant digits
// and doubles with 17, so both read back exactly; a value that is not finite
// is written as null.

#include <cstdio>
#include <string>
#include <string_view>

#include "math/D3dxTypes.h"
#include "record/TraceFrame.h"

namespace qm {
class NodeManager;
}

namespace qm::record {

// Appends number formats to a reusable buffer.
class JsonOut {
  public:
    void Clear() { text.clear(); }
    JsonOut& Raw(const char* s) {
        text += s;
        return *this;
    }
    JsonOut& Int(long long v);
    JsonOut& Float(float v);
    JsonOut& Double(double v);
    JsonOut& Vec(const Vector3& v);
    const std::string& Text() const { return text; }

  private:
    std::string text;
};

// {"step":K,"nodes":[...],"links":[[A,B],...]}
void AppendTraceLine(JsonOut& out, long long step, const NodeManager& world);

// What one line of a JSON trace is.
enum class TraceLineKind {
    Step,    // a step: `frame` holds it
    Header,  // the first line, {"manifest":{...}, ...}: `manifest` holds the manifest's JSON text
};

// Reads one line (without its line end). False when it is neither a whole
// step line nor a header line; `error` then says what is wrong and where
// ("at byte 120: expected a number").
bool ParseTraceLine(std::string_view line, TraceLineKind& kind, TraceFrame& frame, std::string& manifest,
                    std::string& error);

}  // namespace qm::record
