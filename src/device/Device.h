#pragma once
// The drawing device: just the fixed-function operations the scene, the nodes
// and the links use. GlDevice drives OpenGL; RecordingDevice (the tests' own,
// tests/support/RecordingDevice.h) keeps a log so tests can check what is
// drawn, in which order, without a display.
//
// State set on a device stays until it is set again, as on the graphics
// interface the scene was written for: each draw uses the transforms, light,
// material, render states, texture and sampler states in force at that moment.

#include <cstdint>
#include <span>

#include "device/DeviceTypes.h"
#include "device/Mesh.h"
#include "math/D3dxMath.h"

namespace qm {

// One draw of a batch of mesh instances: the mesh moved by `offset`, in the
// material it names.
struct MeshInstance {
    Vector3 offset;
    std::uint32_t material = 0;  // index into the batch's materials
};

// What devices are made from (the loaded graphics library): kept until every
// device made from it is gone.
class GraphicsObject {
  public:
    virtual ~GraphicsObject() = default;
};

class Device {
  public:
    virtual ~Device() = default;

    virtual void SetTransform(TransformType type, const Matrix& matrix) = 0;
    virtual Matrix GetTransform(TransformType type) const = 0;

    // The rectangle of the back buffer drawn into, in back-buffer pixels.
    virtual void SetViewport(const Viewport& viewport) = 0;
    virtual Viewport GetViewport() const = 0;

    virtual void SetLight(std::uint32_t index, const Light& light) = 0;
    virtual void LightEnable(std::uint32_t index, bool enable) = 0;
    virtual void SetMaterial(const Material& material) = 0;
    virtual void SetRenderState(RenderState state, std::uint32_t value) = 0;

    // Textures: created from an image, bound to stage 0, released by their owner.
    virtual TextureHandle CreateTexture(const Image& image) = 0;
    virtual void ReleaseTexture(TextureHandle texture) = 0;
    virtual void SetTexture(std::uint32_t stage, TextureHandle texture) = 0;
    virtual void SetTextureStageColorOp(std::uint32_t stage, TextureOp op, TextureArg arg1) = 0;
    virtual void SetSamplerState(std::uint32_t sampler, SamplerState state, std::uint32_t value) = 0;

    // Draws the faces of one subset of a mesh with the current world transform.
    virtual void DrawMeshSubset(const Mesh& mesh, std::uint32_t subset) = 0;
    // Draws the subset once per instance, in order, each as DrawMeshSubset
    // would with the world transform Translation(offset) * (the current world
    // transform) and the material materials[material] (the current material
    // when `materials` is empty), every other state as it is: the picture of
    // that sequence of calls, in one. The current world transform and
    // material stay as they were.
    virtual void DrawMeshInstances(const Mesh& mesh, std::uint32_t subset,
                                   std::span<const MeshInstance> instances,
                                   std::span<const Material> materials) = 0;
    // A line-list primitive from vertices held by the caller: vertices 2i and
    // 2i + 1 are line i, drawn in order with the current world transform.
    virtual void DrawLineList(std::span<const ColorVertex> vertices) = 0;
    // A triangle strip of vertices.size() - 2 triangles.
    virtual void DrawTriangleStrip(std::span<const ColorTexVertex> vertices) = 0;

    // Clears the render target to an ARGB colour and the depth buffer to z.
    virtual void Clear(std::uint32_t color, float z, std::uint32_t stencil) = 0;
    virtual bool BeginScene() = 0;
    virtual void EndScene() = 0;
    // Shows the back buffer; false when the device is lost.
    virtual bool Present() = 0;
    // Restores a lost device with its presentation parameters.
    virtual bool Reset() = 0;
};

}  // namespace qm
