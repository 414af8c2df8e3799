#include "record/Manifest.h"

#include <cmath>
#include <cstdlib>
#include <regex>

#include "base/Diagnostics.h"
#include "record/TraceJson.h"

namespace qm::record {

std::string JsonString(std::string_view text) {
    // Printable keeps valid UTF-8 and writes every other byte as \xNN; what is
    // left to escape for JSON is the quote and the backslash.
    const std::string printable = Printable(text, text.size());
    std::string out = "\"";
    for (char c : printable) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

std::string PhysicsJson(const Physics& physics) {
    std::string json = "{";
    ForEachPhysicsKey([&](const char* key, auto member, double, double) {
        json +=
            (json.size() > 1 ? ",\"" : "\"") + std::string(key) + "\":" + PhysicsValueText(physics.*member);
    });
    return json + "}";
}

std::string Manifest::Json() const {
    JsonOut json;
    json.Raw("{\"program\":").Raw(JsonString(program).c_str());
    json.Raw(",\"version\":").Raw(JsonString(version).c_str());
    json.Raw(",\"gene\":{\"file\":").Raw(JsonString(geneFile).c_str());
    json.Raw(",\"sha256\":").Raw(JsonString(geneSha256).c_str()).Raw("}");
    json.Raw(",\"seed\":").Int(seed).Raw(",\"steps\":").Int(steps);
    json.Raw(",\"options\":{\"goal\":").Vec(goal).Raw(",\"max_nodes\":").Int(maxNodes);
    json.Raw(",\"trace_every\":").Int(traceEvery).Raw("}");
    json.Raw(",\"physics\":").Raw(PhysicsJson(physics).c_str());
    if (physicsOverride) json.Raw(",\"physics_override\":true");
    json.Raw("}");
    return json.Text();
}

std::string RunIdentity(const std::string& manifestJson) {
    static const std::regex kParts[] = {std::regex(R"("sha256":"[^"]*")"), std::regex(R"("seed":[0-9]+)"),
                                        std::regex(R"("goal":\[[^\]]*\])"),
                                        std::regex(R"("physics":\{[^}]*\})")};
    std::string identity;
    for (const std::regex& part : kParts) {
        std::smatch m;
        if (std::regex_search(manifestJson, m, part)) identity += (identity.empty() ? "" : ",") + m.str();
    }
    return identity;
}

long long TraceEveryOf(const std::string& manifestJson) {
    static const std::regex kEvery(R"("trace_every":([0-9]+))");
    std::smatch m;
    if (!std::regex_search(manifestJson, m, kEvery)) return -1;
    return std::stoll(m[1].str());
}

std::optional<Vector3> ManifestGoal(std::string_view json) {
    // A quote inside a JSON string is escaped, so the key cannot be matched inside a file name.
    constexpr std::string_view kKey = "\"options\":{\"goal\":[";
    const std::size_t at = json.find(kKey);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t close = json.find(']', at);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string numbers(json.substr(at + kKey.size(), close - at - kKey.size()));
    float v[3];
    const char* p = numbers.c_str();
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        v[i] = std::strtof(p, &end);
        if (end == p || !std::isfinite(v[i]) || *end != (i < 2 ? ',' : '\0')) return std::nullopt;
        p = end + 1;
    }
    return Vector3{v[0], v[1], v[2]};
}

}  // namespace qm::record
