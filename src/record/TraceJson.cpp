#include "record/TraceJson.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "record/NodeColumns.h"
#include "world/NodeManager.h"

namespace qm::record {
namespace {

template <class T>
T Read(const char* at) {
    T v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void AppendFormatted(std::string& text, const char* format, double v) {
    char buffer[40];
    int n = std::snprintf(buffer, sizeof buffer, format, v);
    text.append(buffer, static_cast<std::size_t>(n));
}

// Writes a row's columns as the members of a JSON object, without its braces.
void AppendNodeObject(JsonOut& out, const NodeRow& row) {
    const auto* bytes = reinterpret_cast<const char*>(&row);
    const char* separator = "";
    for (const NodeColumn& column : NodeColumns()) {
        out.Raw(separator).Raw("\"").Raw(column.json).Raw("\":");
        const bool array = column.names.size() > 1;
        if (array) out.Raw("[");
        for (std::size_t i = 0; i < column.names.size(); ++i) {
            const char* at = bytes + column.offset + i * ColumnSize(column.type);
            if (i) out.Raw(",");
            switch (column.type) {
                case ColumnType::kInt32:
                    out.Int(Read<std::int32_t>(at));
                    break;
                case ColumnType::kUInt8:
                    out.Raw(Read<std::uint8_t>(at) ? "true" : "false");
                    break;
                case ColumnType::kFloat32:
                    out.Float(Read<float>(at));
                    break;
                case ColumnType::kFloat64:
                    out.Double(Read<double>(at));
                    break;
            }
        }
        if (array) out.Raw("]");
        separator = ",";
    }
    out.Raw("}");
}

}  // namespace

JsonOut& JsonOut::Int(long long v) {
    text += std::to_string(v);
    return *this;
}

JsonOut& JsonOut::Float(float v) {
    if (std::isfinite(v)) {
        AppendFormatted(text, "%.9g", static_cast<double>(v));
    } else {
        text += "null";
    }
    return *this;
}

JsonOut& JsonOut::Double(double v) {
    if (std::isfinite(v)) {
        AppendFormatted(text, "%.17g", v);
    } else {
        text += "null";
    }
    return *this;
}

JsonOut& JsonOut::Vec(const Vector3& v) {
    Raw("[").Float(v.x).Raw(",").Float(v.y).Raw(",").Float(v.z).Raw("]");
    return *this;
}

void AppendTraceLine(JsonOut& out, long long step, const NodeManager& world) {
    out.Raw("{\"step\":").Int(step).Raw(",\"nodes\":[");
    bool first = true;
    for (const auto& [id, node] : world.NodeMap()) {
        out.Raw(first ? "{" : ",{");
        first = false;
        AppendNodeObject(out, NodeRowOf(step, *node));
    }
    out.Raw("],\"links\":[");
    first = true;
    for (const auto& [pair, one] : world.Links().Pairs()) {
        out.Raw(first ? "[" : ",[").Int(pair.first->id).Raw(",").Int(pair.second->id).Raw("]");
        first = false;
    }
    out.Raw("]}\n");
}

namespace {

// Thrown inside the parser, caught by ParseTraceLine.
struct Bad {
    std::size_t at;
    std::string what;
};

// Reads the JSON of one trace line from left to right, without building a tree:
// a step of a hundred thousand nodes is a line of tens of megabytes.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text(text) {}

    std::size_t At() const { return at; }
    [[noreturn]] void Fail(const std::string& what) const { throw Bad{at, what}; }

    void Space() {
        while (at < text.size() &&
               (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
    }
    bool Next(char c) {
        Space();
        if (at < text.size() && text[at] == c) {
            ++at;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Next(c)) Fail(std::string("expected '") + c + "'");
    }
    bool AtEnd() {
        Space();
        return at == text.size();
    }

    // A string's raw contents (escapes left as they are): keys are plain words.
    std::string_view String() {
        Expect('"');
        const std::size_t start = at;
        while (at < text.size() && text[at] != '"') {
            const auto c = static_cast<unsigned char>(text[at]);
            if (c < 0x20) Fail("a control character inside a string");
            at += text[at] == '\\' ? 2 : 1;
        }
        if (at >= text.size()) Fail("a string that does not end");
        return text.substr(start, at++ - start);
    }

    // A number, or null (NaN) where `nullable`.
    double Number(bool nullable) {
        Space();
        if (nullable && text.substr(at, 4) == "null") {
            at += 4;
            return std::numeric_limits<double>::quiet_NaN();
        }
        const std::size_t start = at;
        if (at < text.size() && text[at] == '-') ++at;
        if (at >= text.size() || text[at] < '0' || text[at] > '9') {
            at = start;
            Fail("expected a number");
        }
        double value = 0.0;
        auto [stop, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
        if (error != std::errc() && error != std::errc::result_out_of_range) Fail("expected a number");
        at = static_cast<std::size_t>(stop - text.data());
        return value;
    }

    long long Whole(long long low, long long high) {
        Space();
        long long value = 0;
        auto [stop, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
        const std::size_t end = static_cast<std::size_t>(stop - text.data());
        if (error != std::errc() ||
            (end < text.size() && (text[end] == '.' || text[end] == 'e' || text[end] == 'E')))
            Fail("expected a whole number");
        if (value < low || value > high) Fail("a number out of range");
        at = end;
        return value;
    }

    // Passes over any value.
    void Skip() {
        std::string open;  // the closers of the containers entered, innermost last
        for (;;) {
            Space();
            if (at >= text.size()) Fail("the line ends inside a value");
            const char c = text[at];
            if (c == '{' || c == '[') {
                if (open.size() >= kMaxDepth) Fail("values nested too deep");
                ++at;
                const char closer = c == '{' ? '}' : ']';
                if (!Next(closer)) {
                    open.push_back(closer);
                    if (closer == '}') Member();
                    continue;
                }
            } else if (c == '"') {
                String();
            } else if (c == 't' || c == 'f' || c == 'n') {
                const std::string_view word = c == 't' ? "true" : c == 'f' ? "false" : "null";
                if (text.substr(at, word.size()) != word) Fail("expected a value");
                at += word.size();
            } else {
                Number(false);
            }
            // A value is complete: a comma goes on in the innermost container, its closer ends it.
            for (;;) {
                if (open.empty()) return;
                Space();
                if (at < text.size() && text[at] == ',') {
                    ++at;
                    if (open.back() == '}') Member();
                    break;
                }
                if (at >= text.size() || text[at] != open.back())
                    Fail(std::string("expected ',' or '") + open.back() + "'");
                ++at;
                open.pop_back();
            }
        }
    }

    // A key and its colon.
    std::string_view Member() {
        std::string_view key = String();
        Expect(':');
        return key;
    }

  private:
    static constexpr std::size_t kMaxDepth = 64;

    std::string_view text;
    std::size_t at = 0;
};

// [x, y, z], each a number or null.
Vector3 Triple(Cursor& in) {
    float v[3];
    in.Expect('[');
    for (int i = 0; i < 3; ++i) {
        if (i) in.Expect(',');
        v[i] = static_cast<float>(in.Number(true));
    }
    in.Expect(']');
    return {v[0], v[1], v[2]};
}

// [p0, ..., p9], each a number or null.
void Params(Cursor& in, std::array<float, 10>& param) {
    in.Expect('[');
    for (std::size_t i = 0; i < param.size(); ++i) {
        if (i) in.Expect(',');
        param[i] = static_cast<float>(in.Number(true));
    }
    in.Expect(']');
}

TraceNode Node(Cursor& in) {
    TraceNode node;
    bool id = false, pos = false;
    in.Expect('{');
    if (!in.Next('}')) {
        do {
            const std::string_view key = in.Member();
            if (key == "id") {
                node.id = static_cast<std::int32_t>(in.Whole(0, std::numeric_limits<std::int32_t>::max()));
                id = true;
            } else if (key == "pos") {
                node.pos = Triple(in);
                pos = true;
            } else if (key == "color") {
                node.color = Triple(in);
            } else if (key == "param") {
                Params(in, node.param);
            } else if (key == "parent") {
                node.parent =
                    static_cast<std::int32_t>(in.Whole(-1, std::numeric_limits<std::int32_t>::max()));
            } else if (key == "born") {
                node.born = static_cast<std::int32_t>(in.Whole(-1, std::numeric_limits<std::int32_t>::max()));
            } else {
                in.Skip();
            }
        } while (in.Next(','));
        in.Expect('}');
    }
    if (!id || !pos) in.Fail("a node without its id or position");
    return node;
}

bool HasNode(const TraceFrame& frame, std::int32_t id) {
    auto at = std::lower_bound(frame.nodes.begin(), frame.nodes.end(), id,
                               [](const TraceNode& n, std::int32_t v) { return n.id < v; });
    return at != frame.nodes.end() && at->id == id;
}

void Nodes(Cursor& in, TraceFrame& frame) {
    in.Expect('[');
    if (in.Next(']')) return;
    do {
        TraceNode node = Node(in);
        if (!frame.nodes.empty() && node.id <= frame.nodes.back().id) in.Fail("node ids that do not ascend");
        frame.nodes.push_back(node);
    } while (in.Next(','));
    in.Expect(']');
}

void Links(Cursor& in, TraceFrame& frame) {
    in.Expect('[');
    if (in.Next(']')) return;
    const long long maxId = std::numeric_limits<std::int32_t>::max();
    do {
        in.Expect('[');
        const auto a = static_cast<std::int32_t>(in.Whole(0, maxId));
        in.Expect(',');
        const auto b = static_cast<std::int32_t>(in.Whole(0, maxId));
        in.Expect(']');
        if (a >= b) in.Fail("a link not written as [smaller id, larger id]");
        if (!frame.links.empty() && std::make_pair(a, b) <= frame.links.back()) in.Fail("links out of order");
        if (!HasNode(frame, a) || !HasNode(frame, b)) in.Fail("a link to a node the step does not list");
        frame.links.emplace_back(a, b);
    } while (in.Next(','));
    in.Expect(']');
}

}  // namespace

bool ParseTraceLine(std::string_view line, TraceLineKind& kind, TraceFrame& frame, std::string& manifest,
                    std::string& error) {
    frame.step = 0;
    frame.nodes.clear();
    frame.links.clear();
    Cursor in(line);
    try {
        bool step = false, nodes = false, links = false, header = false;
        in.Expect('{');
        if (!in.Next('}')) {
            do {
                const std::string_view key = in.Member();
                if (key == "step" && !step) {
                    frame.step = in.Whole(0, std::numeric_limits<long long>::max());
                    step = true;
                } else if (key == "nodes" && !nodes) {
                    if (links) in.Fail("the links come before the nodes");
                    Nodes(in, frame);
                    nodes = true;
                } else if (key == "links" && !links) {
                    if (!nodes) in.Fail("the links come before the nodes");
                    Links(in, frame);
                    links = true;
                } else if (key == "manifest" && !header) {
                    in.Space();
                    const std::size_t start = in.At();
                    if (line.substr(start, 1) != "{") in.Fail("a manifest that is not an object");
                    in.Skip();
                    manifest = std::string(line.substr(start, in.At() - start));
                    header = true;
                } else {
                    in.Skip();
                }
            } while (in.Next(','));
            in.Expect('}');
        }
        if (!in.AtEnd()) in.Fail("more after the end of the line's object");
        if (header && !step && !nodes && !links) {
            kind = TraceLineKind::Header;
            return true;
        }
        if (!step || !nodes || !links) in.Fail("a line without its step, nodes and links");
        kind = TraceLineKind::Step;
        return true;
    } catch (const Bad& bad) {
        error = "at byte " + std::to_string(bad.at + 1) + ": " + bad.what;
        return false;
    }
}

}  // namespace qm::record
