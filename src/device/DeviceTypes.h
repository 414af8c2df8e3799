#pragma once
// The values handed to a Device: which transform, which render state and its
// settings, the light record, vertices of the two immediate-mode primitives,
// texture images and rectangles. Names and numeric values follow the Direct3D 9
// fixed-function interface the scene was designed for, so a state set in the
// scene code reads as the state it stands for.

#include <bit>
#include <cstdint>
#include <vector>

#include "math/D3dxTypes.h"

namespace qm {

enum class TransformType : std::uint32_t { World, View, Projection };

enum class RenderState : std::uint32_t {
    ZEnable,
    ZWriteEnable,  // 1 (the default): faces that pass the depth test write their depth
    CullMode,
    Lighting,
    Ambient,  // 0x00RRGGBB global ambient light
    SpecularEnable,
    AlphaBlendEnable,
    SrcBlend,
    DestBlend,
    // Depth offsets of filled faces (float bits, see FloatBits): the depth of
    // every fragment is pushed back by SlopeScaleDepthBias times the face's
    // depth change per pixel plus DepthBias times the smallest depth step the
    // depth buffer resolves. 0 and 0 (the default) draw faces where they are.
    DepthBias,
    SlopeScaleDepthBias,
};

// A float render-state value as its bits, and back.
inline std::uint32_t FloatBits(float value) { return std::bit_cast<std::uint32_t>(value); }
inline float FloatFromBits(std::uint32_t bits) { return std::bit_cast<float>(bits); }

// Render-state values.
inline constexpr std::uint32_t kZbTrue = 1;
inline constexpr std::uint32_t kCullNone = 1;
inline constexpr std::uint32_t kCullClockwise = 2;
inline constexpr std::uint32_t kCullCounterClockwise = 3;
inline constexpr std::uint32_t kBlendZero = 1;
inline constexpr std::uint32_t kBlendOne = 2;
inline constexpr std::uint32_t kBlendSrcAlpha = 5;
inline constexpr std::uint32_t kBlendInvSrcAlpha = 6;

// Colour operation of a texture stage and its first argument.
enum class TextureOp : std::uint32_t { Disable = 1, SelectArg1 = 2, SelectArg2 = 3, Modulate = 4 };
enum class TextureArg : std::uint32_t { Diffuse = 0, Current = 1, Texture = 2 };

enum class SamplerState : std::uint32_t { AddressU, AddressV, MagFilter, MinFilter };
inline constexpr std::uint32_t kAddressWrap = 1;
inline constexpr std::uint32_t kAddressMirror = 2;
inline constexpr std::uint32_t kAddressClamp = 3;
inline constexpr std::uint32_t kFilterPoint = 1;
inline constexpr std::uint32_t kFilterLinear = 2;

enum class LightType : std::uint32_t { Point = 1, Spot = 2, Directional = 3 };

// D3DLIGHT9. For a directional light, Direction is the way the light travels.
struct Light {
    LightType Type = LightType::Point;
    ColorValue Diffuse, Specular, Ambient;
    Vector3 Position, Direction;
    float Range = 0.0f, Falloff = 0.0f;
    float Attenuation0 = 0.0f, Attenuation1 = 0.0f, Attenuation2 = 0.0f;
    float Theta = 0.0f, Phi = 0.0f;
    friend constexpr bool operator==(const Light&, const Light&) = default;
};

// A position with a 32-bit ARGB colour: the link lines (16 bytes a vertex).
struct ColorVertex {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    std::uint32_t color = 0;
};
static_assert(sizeof(ColorVertex) == 16);

// A position, an ARGB colour and one pair of texture coordinates: the floor (24 bytes a vertex).
struct ColorTexVertex {
    float x = 0.0f, y = 0.0f, z = 0.0f;
    std::uint32_t color = 0;
    float u = 0.0f, v = 0.0f;
};
static_assert(sizeof(ColorTexVertex) == 24);

// Pixels of a texture, top row first, each 0xAARRGGBB.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};

// A texture owned by a device; 0 is "no texture".
using TextureHandle = std::uint32_t;

// RECT: left and top inclusive, right and bottom exclusive, in pixels.
struct Rect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

// ARGB colour as four floats in [0, 1].
inline ColorValue ColorFromArgb(std::uint32_t argb) {
    return {static_cast<float>((argb >> 16) & 0xFF) / 255.0f, static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
            static_cast<float>(argb & 0xFF) / 255.0f, static_cast<float>((argb >> 24) & 0xFF) / 255.0f};
}

}  // namespace qm
