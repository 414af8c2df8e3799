#include "shell/ReplayDriver.h"

#include <algorithm>
#include <cmath>

#include "base/Diagnostics.h"
#include "base/KeyCodes.h"
#include "base/RunContext.h"
#include "node/NodeDrawing.h"
#include "record/Manifest.h"

namespace qm {

namespace {

constexpr std::uint32_t kLinkColor = 0xFFFFFFFF;

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// A node's material as its gene's colour makes it: diffuse and ambient alike.
Material NodeMaterial(const Vector3& color) {
    Material m;
    m.Diffuse = {color.x, color.y, color.z, 1.0f};
    m.Ambient = m.Diffuse;
    return m;
}

Vector3 Centroid(const record::TraceFrame& frame) {
    Vector3 sum;
    int count = 0;
    for (const record::TraceNode& n : frame.nodes) {
        if (!Finite(n.pos)) continue;
        sum = sum + n.pos;
        ++count;
    }
    return count > 0 ? sum * (1.0f / static_cast<float>(count)) : Vector3{};
}

}  // namespace

ReplayDriver::ReplayDriver(RunContext& context, const std::string& tracePath)
    : PTester(context), path(tracePath), reader(tracePath) {
    if (!reader.Read(0, frame)) {
        throw record::RecordError{reader.Stopped().empty() ? tracePath + ": the trace holds no recorded step"
                                                           : reader.Stopped()};
    }
    centroid = Centroid(frame);
}

std::optional<Vector3> ReplayDriver::Goal() const { return record::ManifestGoal(reader.ManifestJson()); }

void ReplayDriver::Reached(std::size_t count) {
    cursor.EndsAt(count);
    if (!stopReported && !reader.Stopped().empty()) {
        stopReported = true;
        // Said once, on standard error; the window's status line keeps saying it.
        context.diagnostics.DebugPrint("quillmoth: %s\n", reader.Stopped().c_str());
    }
}

std::size_t ReplayDriver::Show(std::size_t index) {
    cursor.MoveTo(index);
    index = cursor.Index();
    if (index == shown) return shown;
    record::TraceFrame next;
    if (!reader.Read(index, next)) {
        Reached(reader.StepsFound());
        index = cursor.Index();
        if (index == shown || !reader.Read(index, next)) return shown;
    }
    frame = std::move(next);
    shown = index;
    centroid = Centroid(frame);
    return shown;
}

std::size_t ReplayDriver::CountSteps() {
    record::TraceFrame scratch;
    while (!reader.Finished()) {
        if (!reader.Read(reader.StepsFound(), scratch)) break;
    }
    Reached(reader.StepsFound());
    return reader.StepsFound();
}

void ReplayDriver::DoAction() {
    cursor.Advance();
    Show(cursor.Index());  // a trace that ends sooner pulls the cursor back
    context.textLines.Add(StatusLine());
    if (!reader.Stopped().empty()) context.textLines.Add(reader.Stopped());
}

std::string ReplayDriver::StatusLine() const {
    const std::size_t count = cursor.KnownCount();
    std::string line = FormatString("step %lld (%zu of %s)", frame.step, shown + 1,
                                    count > 0 ? std::to_string(count).c_str() : "...");
    if (cursor.Speed() > 1) line += FormatString(", %d steps per frame", cursor.Speed());
    if (cursor.Paused()) line += ", paused";
    return line;
}

void ReplayDriver::KeyDown(int key) {
    if (key == kPauseKey) {
        cursor.TogglePause();
        return;
    }
    switch (static_cast<std::uint32_t>(key)) {
        case kVkUp:
            cursor.Faster();
            break;
        case kVkDown:
            cursor.Slower();
            break;
        case kVkLeft:
            cursor.StepBack();
            break;
        case kVkRight:
            cursor.StepForward();
            break;
        case kVkHome:
            cursor.Home();
            break;
        default:
            break;
    }
}

void ReplayDriver::Render(Device& device, NodeDrawing& drawing) {
    NodeBatch& nodes = drawing.Nodes();
    nodes.Clear();
    for (const record::TraceNode& n : frame.nodes) {
        if (Finite(n.pos)) nodes.Add(n.pos, NodeMaterial(n.color));
    }
    nodes.Draw(device, drawing);

    LineBatch& lines = drawing.Lines();
    lines.Clear();
    const auto byId = [this](std::int32_t id) -> const record::TraceNode* {
        const auto it = std::lower_bound(frame.nodes.begin(), frame.nodes.end(), id,
                                         [](const record::TraceNode& n, std::int32_t v) { return n.id < v; });
        return it != frame.nodes.end() && it->id == id ? &*it : nullptr;
    };
    for (const auto& [a, b] : frame.links) {
        const record::TraceNode* from = byId(a);
        const record::TraceNode* to = byId(b);
        if (from && to && Finite(from->pos) && Finite(to->pos)) lines.Add(from->pos, to->pos, kLinkColor);
    }
    lines.Draw(device, drawing);
}

}  // namespace qm
