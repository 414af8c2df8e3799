#pragma once
// A Device and a Font that draw nothing and remember everything: every call in
// order, as a short readable line, and every draw with the full state it was
// drawn with. Tests of the scene, the node drawing and the frame use them to
// check what would appear on screen, in which order, without a display.
//
// The device starts in the default state of the fixed-function interface:
// identity transforms, lighting on, stage 0 modulating texture with the
// diffuse colour, samplers wrapping with point filtering, no texture.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Diagnostics.h"
#include "device/Device.h"
#include "device/Font.h"

namespace qm {

struct DrawRecord {
    enum class Kind { MeshSubset, LineList, TriangleStrip };
    Kind kind = Kind::MeshSubset;
    const Mesh* mesh = nullptr;
    std::uint32_t subset = 0;
    std::vector<ColorVertex> lineVertices;
    std::vector<ColorTexVertex> stripVertices;

    Matrix world, view, projection;
    Material material;
    bool lighting = true;
    bool alphaBlend = false;
    bool zWrite = true;
    std::uint32_t cullMode = kCullCounterClockwise;
    float depthBias = 0.0f, slopeScaleDepthBias = 0.0f;
    TextureHandle texture = 0;
    TextureOp colorOp = TextureOp::Modulate;
    TextureArg colorArg1 = TextureArg::Texture;
    std::uint32_t addressU = kAddressWrap, addressV = kAddressWrap;
    std::uint32_t magFilter = kFilterPoint, minFilter = kFilterPoint;
};

class RecordingDevice : public Device {
  public:
    std::vector<std::string> calls;
    std::vector<DrawRecord> draws;

    std::map<RenderState, std::uint32_t> renderStates{{RenderState::Lighting, 1}};
    std::map<std::uint32_t, Light> lights;
    std::map<std::uint32_t, bool> lightEnabled;
    std::map<TextureHandle, Image> textures;
    Material material;
    Viewport viewport{0, 0, 640, 480, 0.0f, 1.0f};
    bool presentSucceeds = true;

    RecordingDevice() : world_(MatrixIdentity()), view_(MatrixIdentity()), projection_(MatrixIdentity()) {}

    void SetTransform(TransformType type, const Matrix& matrix) override {
        Slot(type) = matrix;
        Log("SetTransform " + Name(type));
    }
    Matrix GetTransform(TransformType type) const override {
        return type == TransformType::World ? world_ : type == TransformType::View ? view_ : projection_;
    }
    void SetViewport(const Viewport& v) override {
        viewport = v;
        Log("SetViewport");
    }
    Viewport GetViewport() const override { return viewport; }

    void SetLight(std::uint32_t index, const Light& light) override {
        lights[index] = light;
        Log(FormatString("SetLight %u", index));
    }
    void LightEnable(std::uint32_t index, bool enable) override {
        lightEnabled[index] = enable;
        Log(FormatString("LightEnable %u %d", index, enable ? 1 : 0));
    }
    void SetMaterial(const Material& m) override {
        material = m;
        Log("SetMaterial");
    }
    void SetRenderState(RenderState state, std::uint32_t value) override {
        renderStates[state] = value;
        Log("SetRenderState " + Name(state) + FormatString(" 0x%X", value));
    }

    TextureHandle CreateTexture(const Image& image) override {
        TextureHandle handle = nextTexture_++;
        textures[handle] = image;
        Log(FormatString("CreateTexture %u", handle));
        return handle;
    }
    void ReleaseTexture(TextureHandle texture) override {
        textures.erase(texture);
        Log(FormatString("ReleaseTexture %u", texture));
    }
    void SetTexture(std::uint32_t stage, TextureHandle texture) override {
        if (stage == 0) texture_ = texture;
        Log(FormatString("SetTexture %u %u", stage, texture));
    }
    void SetTextureStageColorOp(std::uint32_t stage, TextureOp op, TextureArg arg1) override {
        if (stage == 0) {
            colorOp_ = op;
            colorArg1_ = arg1;
        }
        Log(FormatString("SetTextureStageColorOp %u %u %u", stage, static_cast<unsigned>(op),
                         static_cast<unsigned>(arg1)));
    }
    void SetSamplerState(std::uint32_t sampler, SamplerState state, std::uint32_t value) override {
        if (sampler == 0) samplers_[state] = value;
        Log(FormatString("SetSamplerState %u %s %u", sampler, Name(state).c_str(), value));
    }

    void DrawMeshSubset(const Mesh& mesh, std::uint32_t subset) override {
        DrawRecord record = Snapshot(DrawRecord::Kind::MeshSubset);
        record.mesh = &mesh;
        record.subset = subset;
        draws.push_back(record);
        Log(FormatString("DrawMeshSubset %u", subset));
    }
    // Instances are recorded as the draws they stand for, one each, and
    // logged as one call.
    void DrawMeshInstances(const Mesh& mesh, std::uint32_t subset, std::span<const MeshInstance> instances,
                           std::span<const Material> materials) override {
        for (const MeshInstance& instance : instances) {
            DrawRecord record = Snapshot(DrawRecord::Kind::MeshSubset);
            const Vector3& o = instance.offset;
            record.world = MatrixMultiply(MatrixTranslation(o.x, o.y, o.z), world_);
            if (!materials.empty()) record.material = materials[instance.material];
            record.mesh = &mesh;
            record.subset = subset;
            draws.push_back(record);
        }
        Log(FormatString("DrawMeshInstances %u %zu", subset, instances.size()));
    }
    // One record per line.
    void DrawLineList(std::span<const ColorVertex> vertices) override {
        for (std::size_t i = 0; i + 1 < vertices.size(); i += 2) {
            DrawRecord record = Snapshot(DrawRecord::Kind::LineList);
            record.lineVertices.assign(vertices.begin() + static_cast<std::ptrdiff_t>(i),
                                       vertices.begin() + static_cast<std::ptrdiff_t>(i + 2));
            draws.push_back(record);
        }
        Log(FormatString("DrawLineList %zu", vertices.size() / 2));
    }
    void DrawTriangleStrip(std::span<const ColorTexVertex> vertices) override {
        DrawRecord record = Snapshot(DrawRecord::Kind::TriangleStrip);
        record.stripVertices.assign(vertices.begin(), vertices.end());
        draws.push_back(record);
        Log(FormatString("DrawTriangleStrip %zu", vertices.size()));
    }

    void Clear(std::uint32_t color, float z, std::uint32_t stencil) override {
        Log(FormatString("Clear 0x%08X %g %u", color, static_cast<double>(z), stencil));
    }
    bool BeginScene() override {
        Log("BeginScene");
        return true;
    }
    void EndScene() override { Log("EndScene"); }
    bool Present() override {
        Log("Present");
        return presentSucceeds;
    }
    bool Reset() override {
        Log("Reset");
        return true;
    }

    // The calls whose log line starts with `prefix`, in order.
    std::vector<std::string> CallsStartingWith(std::string_view prefix) const {
        std::vector<std::string> out;
        for (const auto& c : calls) {
            if (std::string_view(c).substr(0, prefix.size()) == prefix) out.push_back(c);
        }
        return out;
    }

    static std::string Name(TransformType type) {
        switch (type) {
            case TransformType::World:
                return "World";
            case TransformType::View:
                return "View";
            case TransformType::Projection:
                return "Projection";
        }
        return "?";
    }
    static std::string Name(RenderState state) {
        switch (state) {
            case RenderState::ZEnable:
                return "ZEnable";
            case RenderState::ZWriteEnable:
                return "ZWriteEnable";
            case RenderState::CullMode:
                return "CullMode";
            case RenderState::Lighting:
                return "Lighting";
            case RenderState::Ambient:
                return "Ambient";
            case RenderState::SpecularEnable:
                return "SpecularEnable";
            case RenderState::AlphaBlendEnable:
                return "AlphaBlendEnable";
            case RenderState::SrcBlend:
                return "SrcBlend";
            case RenderState::DestBlend:
                return "DestBlend";
            case RenderState::DepthBias:
                return "DepthBias";
            case RenderState::SlopeScaleDepthBias:
                return "SlopeScaleDepthBias";
        }
        return "?";
    }
    static std::string Name(SamplerState state) {
        switch (state) {
            case SamplerState::AddressU:
                return "AddressU";
            case SamplerState::AddressV:
                return "AddressV";
            case SamplerState::MagFilter:
                return "MagFilter";
            case SamplerState::MinFilter:
                return "MinFilter";
        }
        return "?";
    }

  private:
    Matrix& Slot(TransformType type) {
        return type == TransformType::World ? world_ : type == TransformType::View ? view_ : projection_;
    }
    void Log(std::string line) { calls.push_back(std::move(line)); }

    std::uint32_t Sampler(SamplerState state, std::uint32_t fallback) const {
        auto it = samplers_.find(state);
        return it == samplers_.end() ? fallback : it->second;
    }

    DrawRecord Snapshot(DrawRecord::Kind kind) const {
        DrawRecord r;
        r.kind = kind;
        r.world = world_;
        r.view = view_;
        r.projection = projection_;
        r.material = material;
        auto lit = renderStates.find(RenderState::Lighting);
        r.lighting = lit != renderStates.end() && lit->second != 0;
        auto blend = renderStates.find(RenderState::AlphaBlendEnable);
        r.alphaBlend = blend != renderStates.end() && blend->second != 0;
        auto cull = renderStates.find(RenderState::CullMode);
        r.cullMode = cull == renderStates.end() ? kCullCounterClockwise : cull->second;
        auto zWrite = renderStates.find(RenderState::ZWriteEnable);
        r.zWrite = zWrite == renderStates.end() || zWrite->second != 0;
        auto bias = renderStates.find(RenderState::DepthBias);
        r.depthBias = bias == renderStates.end() ? 0.0f : FloatFromBits(bias->second);
        auto slope = renderStates.find(RenderState::SlopeScaleDepthBias);
        r.slopeScaleDepthBias = slope == renderStates.end() ? 0.0f : FloatFromBits(slope->second);
        r.texture = texture_;
        r.colorOp = colorOp_;
        r.colorArg1 = colorArg1_;
        r.addressU = Sampler(SamplerState::AddressU, kAddressWrap);
        r.addressV = Sampler(SamplerState::AddressV, kAddressWrap);
        r.magFilter = Sampler(SamplerState::MagFilter, kFilterPoint);
        r.minFilter = Sampler(SamplerState::MinFilter, kFilterPoint);
        return r;
    }

    Matrix world_, view_, projection_;
    TextureHandle texture_ = 0;
    TextureHandle nextTexture_ = 1;
    TextureOp colorOp_ = TextureOp::Modulate;
    TextureArg colorArg1_ = TextureArg::Texture;
    std::map<SamplerState, std::uint32_t> samplers_;
};

// A font whose every glyph is kCharWidth x kLineHeight pixels; it records each
// call with the rectangle it was given and the one it returned.
class RecordingFont : public Font {
  public:
    static constexpr int kCharWidth = 10;
    static constexpr int kLineHeight = 28;

    struct Call {
        std::string text;
        Rect rectIn;
        Rect rectOut;
        std::uint32_t format;
        std::uint32_t color;
    };
    std::vector<Call> calls;

    int DrawText(std::string_view text, Rect& rect, std::uint32_t format, std::uint32_t color) override {
        Call call{std::string(text), rect, rect, format, color};
        if (format & kDtCalcRect) {
            rect.right = rect.left + kCharWidth * static_cast<int>(text.size());
            rect.bottom = rect.top + kLineHeight;
        }
        call.rectOut = rect;
        calls.push_back(call);
        return kLineHeight;
    }
};

}  // namespace qm
