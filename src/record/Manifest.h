#pragma once
// What a run was: the program and its version, the gene file and its SHA-256,
// the seed, the steps asked for and the options that shape the results. The
// trace's first line, every checkpoint and the summary line carry it, so any
// output names the run it came from and how to make it again.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/Physics.h"
#include "math/D3dxTypes.h"

namespace qm::record {

struct Manifest {
    std::string program = "quillmoth-sim";
    std::string version;
    std::string geneFile;    // as it was named on the command line
    std::string geneSha256;  // of the file's bytes, 64 hex digits
    std::uint32_t seed = 0;
    long long steps = 0;  // the step the run stops at
    Vector3 goal;
    int maxNodes = 0;
    int traceEvery = 1;
    Physics physics;
    bool physicsOverride = false;  // a resumed run's physics set anew on its command line

    // {"program":"quillmoth-sim","version":"0.2.0","gene":{"file":"...","sha256":"..."},"seed":1,
    //  "steps":400,"options":{"goal":[0,-25,250],"max_nodes":N,"trace_every":1},
    //  "physics":{"spring_stiffness":0.02,...}} (and "physics_override":true when so)
    std::string Json() const;
};

// {"spring_stiffness":0.02,...}: every key with the shortest text of its value.
std::string PhysicsJson(const Physics& physics);

// What tells one run from another in a manifest's JSON text (Manifest::Json's
// layout): the gene's SHA-256, the seed, the goal and the physics, as they are written
// there. The steps, the node limit (a default that depends on the machine)
// and the trace's step interval do not count: a run resumed with other ones
// is still the same run. Empty when the text holds none of them.
std::string RunIdentity(const std::string& manifestJson);
// The value of "trace_every" in a manifest's JSON text, or -1.
long long TraceEveryOf(const std::string& manifestJson);
// The goal of a manifest's JSON text (as Json() writes it); nothing when the
// text holds none that reads as three finite numbers.
std::optional<Vector3> ManifestGoal(std::string_view json);

// `text` as a JSON string, quotes included. Bytes that are not UTF-8 are
// written as the four characters \xNN, so any file name gives valid JSON.
std::string JsonString(std::string_view text);

}  // namespace qm::record
