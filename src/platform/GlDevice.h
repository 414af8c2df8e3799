#pragma once
// The Device on OpenGL 2.1's fixed-function pipeline: lights, materials,
// texture environment and blending stand in for the Direct3D 9 states the
// scene sets. The device keeps the whole state itself and hands it to OpenGL
// before each draw, so drawing outside it (the font) cannot leave it stale.
//
// Conventions carried across:
// - A D3DX matrix is OpenGL's column-major matrix of the same transform, so
//   world * view goes to the modelview matrix as it is. The projection is
//   followed by one fixed matrix that maps depth [0, 1] to OpenGL's [-1, 1].
// - Lights are given in world space: they are placed with the view matrix only.
// - The viewport is in back-buffer pixels. The back buffer keeps the client
//   size the window had when the device was made; when the window is resized
//   the picture is stretched to the new client area, and GetViewport still
//   reports the back-buffer rectangle.

#include <array>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "device/Device.h"

struct SDL_Window;

namespace qm {

// The OpenGL library of the window, loaded once for every context made on it.
class GlLibrary : public GraphicsObject {
  public:
    // Null without a window or when no OpenGL library can be loaded.
    static std::unique_ptr<GlLibrary> Load(SDL_Window* window);
    ~GlLibrary() override;

  private:
    GlLibrary() = default;
};

// The three ways of making a device, tried in this order at start-up.
enum class DeviceKind {
    HardwareMixed,     // an accelerated context as the window was made
    HardwareSoftware,  // an accelerated context asked for explicitly as 2.1 compatibility
    Reference,         // any context, the software rasteriser included
};

class GlDevice : public Device {
  public:
    // Makes a context of the given kind on the window and the device on it.
    // Null when it cannot be made; `why` then says what was missing.
    static std::unique_ptr<GlDevice> Create(SDL_Window* window, DeviceKind kind, std::string* why);
    ~GlDevice() override;

    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;

    int BackBufferWidth() const { return backBufferWidth_; }
    int BackBufferHeight() const { return backBufferHeight_; }
    // Size of the window's drawable now, in pixels.
    void DrawableSize(int& width, int& height) const;

    // How many display refreshes Present waits for: 1 (the default) paces the
    // frames to the display, 0 presents at once. False when the driver refuses.
    bool SetSwapInterval(int interval);
    // The back buffer (the frame drawn and not yet presented), opaque.
    Image ReadBackBuffer() const;
    // Writes the back buffer to a BMP file when `path` ends in ".bmp", to a
    // PNG file otherwise. False with the reason in `why` when it cannot.
    bool SaveBackBuffer(const std::string& path, std::string* why) const;

    void SetTransform(TransformType type, const Matrix& matrix) override;
    Matrix GetTransform(TransformType type) const override;
    void SetViewport(const Viewport& viewport) override;
    Viewport GetViewport() const override { return viewport_; }
    void SetLight(std::uint32_t index, const Light& light) override;
    void LightEnable(std::uint32_t index, bool enable) override;
    void SetMaterial(const Material& material) override { material_ = material; }
    void SetRenderState(RenderState state, std::uint32_t value) override;

    TextureHandle CreateTexture(const Image& image) override;
    void ReleaseTexture(TextureHandle texture) override;
    void SetTexture(std::uint32_t stage, TextureHandle texture) override;
    void SetTextureStageColorOp(std::uint32_t stage, TextureOp op, TextureArg arg1) override;
    void SetSamplerState(std::uint32_t sampler, SamplerState state, std::uint32_t value) override;

    void DrawMeshSubset(const Mesh& mesh, std::uint32_t subset) override;
    void DrawMeshInstances(const Mesh& mesh, std::uint32_t subset, std::span<const MeshInstance> instances,
                           std::span<const Material> materials) override;
    void DrawLineList(std::span<const ColorVertex> vertices) override;
    void DrawTriangleStrip(std::span<const ColorTexVertex> vertices) override;

    void Clear(std::uint32_t color, float z, std::uint32_t stencil) override;
    bool BeginScene() override;
    void EndScene() override;
    bool Present() override;
    bool Reset() override;

  private:
    static constexpr int kMaxLights = 8;

    GlDevice(SDL_Window* window, void* context);

    // Hands the stored state to OpenGL. `lit` is false for vertices that
    // carry their own colour and no normal.
    void PrepareDraw(bool lit);
    void ApplyViewport();
    void ApplyTexture();
    // Whether one draw call with the colour carried per vertex gives the
    // picture of these materials: they may differ only in their diffuse
    // colour, with the ambient colour equal to it.
    bool InstancesFitOneDraw(std::span<const Material> materials) const;
    void DrawInstancesOneByOne(const Mesh& mesh, std::uint32_t subset,
                               std::span<const MeshInstance> instances, std::span<const Material> materials);

    SDL_Window* window_;
    void* context_;
    std::string renderer_;
    int backBufferWidth_ = 0, backBufferHeight_ = 0;

    Matrix world_, view_, projection_;
    Viewport viewport_;
    std::array<Light, kMaxLights> lights_{};
    std::array<bool, kMaxLights> lightEnabled_{};
    Material material_;

    bool zEnable_ = true;
    bool zWrite_ = true;
    std::uint32_t cullMode_ = kCullCounterClockwise;
    bool lighting_ = true;
    std::uint32_t ambient_ = 0;
    bool specularEnable_ = false;
    bool alphaBlend_ = false;
    std::uint32_t srcBlend_ = kBlendOne, destBlend_ = kBlendZero;
    float depthBias_ = 0.0f, slopeScaleDepthBias_ = 0.0f;

    TextureHandle texture_ = 0;
    TextureOp colorOp_ = TextureOp::Modulate;
    TextureArg colorArg1_ = TextureArg::Texture;
    std::uint32_t addressU_ = kAddressWrap, addressV_ = kAddressWrap;
    std::uint32_t magFilter_ = kFilterPoint, minFilter_ = kFilterPoint;

    std::unordered_map<TextureHandle, unsigned> textures_;  // handle -> OpenGL name

    // Scratch of the instanced and line-list draws, kept so that a frame
    // allocates nothing once they have reached the creature's size.
    struct LineVertex {
        float x, y, z;
        std::uint8_t rgba[4];
    };
    std::vector<std::uint32_t> subsetVertices_, subsetFaces_;
    std::vector<float> instancePositions_, instanceNormals_, instanceColors_, instanceTexCoords_;
    std::vector<std::uint32_t> instanceIndices_;
    std::vector<LineVertex> lineVertices_;
};

}  // namespace qm
