#include "node/TNode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

#include "base/Diagnostics.h"
#include "base/Errors.h"
#include "base/TextLines.h"
#include "node/NodeWorld.h"

namespace qm {
namespace {

double Clamp01(double t) {
    if (t > 1.0) return 1.0;
    if (t < 0.0) return 0.0;
    return t;
}

// Appends "P%d=%lf, " entries, three to a line, and always emits the last line.
void DumpSlots(TextLines& out, const TNode::Params& values, const char* format) {
    std::string line;
    int entries = 0;
    for (int i = 0; i < paramCount; ++i) {
        if (values[i] == 0.0) continue;
        if (entries == 3) {
            out.Add(line);
            line.clear();
            entries = 0;
        }
        line += FormatString(format, i, values[i]);
        ++entries;
    }
    out.Add(line);
}

}  // namespace

// A pure function remembered: the same argument gives the same bits, so a
// hit returns exactly what std::tanh would. Genes call it with the same
// constants in every node and step; a step made a dozen calls per node.
double MemoTanh(double x) {
    struct Memo {
        std::array<std::uint64_t, 256> key{};  // +0.0, whose tanh is +0.0: every slot starts valid
        std::array<double, 256> value{};
    };
    thread_local Memo memo;
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const std::size_t slot = static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> 56);
    if (memo.key[slot] == bits) return memo.value[slot];
    const double t = std::tanh(x);
    memo.key[slot] = bits;
    memo.value[slot] = t;
    return t;
}

int SlotIndex(double x) {
    double t = MemoTanh(x);
    if (!(t > 0.0)) return 0;  // negative, zero and NaN all name slot 0
    if (t > 1.0) t = 1.0;
    return static_cast<int>(t * (paramCount - 1));
}

TNode::TNode(NodeWorld* manager, std::int32_t id)
    : id(id), manager(manager), unit(std::make_unique<Unit>(this)) {
    const Physics& laws = Laws();
    edgeLength = laws.linkLengthMin;
    staticFriction0 = (laws.staticFrictionMax + laws.staticFrictionMin) * 0.5f;
    dynFriction = (laws.dynamicFrictionMax + laws.dynamicFrictionMin) * 0.5f;
    frictionDiff = staticFriction0 - dynFriction;
    material.Diffuse = {0.0f, 0.0f, 0.0f, 1.0f};
    material.Ambient = {0.0f, 0.0f, 0.0f, 1.0f};
}

void TNode::NewNode(Unit* gene) {
    try {
        unit->CopyFrom(*gene);
    } catch (...) {
        RethrowSigned("TNode::NewNode(Unit*)\n");
    }
    ResetParams();
}

void TNode::Inherit(TNode* parent) {
    unit->CopyFrom(*parent->unit);
    parent->request = kNoRequest;
    param.fill(0.0);
    paramInput.fill(0.0);
    paramFlux.fill(0.0);
    diffRate = parent->diffRate;
}

void TNode::ResetParams() {
    param.fill(0.0);
    paramInput.fill(0.0);
    paramFlux.fill(0.0);
    diffRate.fill(0.0);
}

void TNode::SetP(double a, double b) { param[SlotIndex(a)] = b < 0.0 ? 0.0 : b; }

void TNode::AddP(double a, double b) {
    double& p = param[SlotIndex(a)];
    p += MemoTanh(b) * 0.01;
    if (p < 0.0) p = 0.0;
}

void TNode::SetD(double a, double b) { diffRate[SlotIndex(a)] = Clamp01(b); }

void TNode::AddD(double a, double b) {
    double& d = diffRate[SlotIndex(a)];
    d = Clamp01(d + MemoTanh(b) * 0.01);
}

void TNode::AddInputTanh(double a, double b) { paramInput[SlotIndex(a)] += MemoTanh(b) * 0.01; }

void TNode::ApplyInput() {
    for (int i = 0; i < paramCount; ++i) {
        param[i] += paramInput[i];
        if (param[i] < 0.0) param[i] = 0.0;
        paramInput[i] = 0.0;
    }
}

void TNode::ApplyFlux() {
    for (int i = 0; i < paramCount; ++i) {
        param[i] += paramFlux[i];
        if (param[i] < 0.0) param[i] = 0.0;
        paramFlux[i] = 0.0;
    }
}

void TNode::Diffuse(TNode* other) {
    const double diffusion = Laws().diffusion;
    for (int i = 0; i < paramCount; ++i) {
        double d = std::sqrt(diffRate[i] * other->diffRate[i]) * (param[i] - other->param[i]) * diffusion;
        paramFlux[i] -= d;
        other->paramFlux[i] += d;
    }
}

void TNode::SetEdgeLength(double x) {
    const Physics& laws = Laws();
    edgeLength = laws.linkLengthMin + Clamp01(MemoTanh(x)) * (laws.linkLengthMax - laws.linkLengthMin);
}

void TNode::SetDynFriction(double x) {
    const Physics& laws = Laws();
    dynFriction = static_cast<float>(laws.dynamicFrictionMin +
                                     MemoTanh(GetP(x)) * (laws.dynamicFrictionMax - laws.dynamicFrictionMin));
}

void TNode::SetFrictionDiff(double x) {
    const Physics& laws = Laws();
    frictionDiff =
        static_cast<float>(laws.frictionDifferenceMin +
                           MemoTanh(GetP(x)) * (laws.frictionDifferenceMax - laws.frictionDifferenceMin));
}

float TNode::GetStaticFriction() const {
    const float most = Laws().staticFrictionMax;
    float sum = dynFriction + frictionDiff;
    return sum > most ? most : sum;
}

void TNode::SetColor(double x, double y, double z) {
    material.Diffuse.r = static_cast<float>(GetP(x));
    material.Diffuse.g = static_cast<float>(GetP(y));
    material.Diffuse.b = static_cast<float>(GetP(z));
    material.Ambient = material.Diffuse;
}

void TNode::Pulse(double x) { manager->PulseLinked(this, SlotIndex(x), GetP(x)); }

void TNode::Impulse(double a, double b) { manager->ImpulseLinked(this, a, b); }

void TNode::CutEdges() { manager->UnLinkNode(this); }

void TNode::Dump(TextLines& out) const {
    out.Add(FormatString("Node ID:%d", id));
    DumpSlots(out, param, "P%d=%lf, ");
    DumpSlots(out, diffRate, "PD%d=%lf, ");
}

}  // namespace qm
