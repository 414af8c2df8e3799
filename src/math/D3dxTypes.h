#pragma once
// Plain value types with the layout and conventions of the D3DX 9 library:
// single-precision vectors, colours, materials and row-major 4 x 4 matrices
// (row vectors, v' = v * M). The engine's physics uses Vector3 and its
// operations exactly as written here: all arithmetic in single precision.

#include <cmath>
#include <cstdint>

namespace qm {

struct Vector3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;

    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vector3& operator+=(const Vector3& v) {
        x += v.x;
        y += v.y;
        z += v.z;
        return *this;
    }
    constexpr Vector3& operator-=(const Vector3& v) {
        x -= v.x;
        y -= v.y;
        z -= v.z;
        return *this;
    }
    constexpr Vector3& operator*=(float s) {
        x *= s;
        y *= s;
        z *= s;
        return *this;
    }
    friend constexpr Vector3 operator+(Vector3 a, const Vector3& b) { return a += b; }
    friend constexpr Vector3 operator-(Vector3 a, const Vector3& b) { return a -= b; }
    friend constexpr Vector3 operator*(Vector3 a, float s) { return a *= s; }
    friend constexpr Vector3 operator*(float s, Vector3 a) { return a *= s; }
    friend constexpr Vector3 operator-(const Vector3& a) { return {-a.x, -a.y, -a.z}; }
    friend constexpr bool operator==(const Vector3&, const Vector3&) = default;
};

// D3DXVec3Length: the Euclidean length, in single precision.
inline float Vec3Length(const Vector3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

inline float Vec3Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

inline Vector3 Vec3Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// D3DXVec3Normalize: each component divided by the length; the zero vector stays zero.
inline Vector3 Vec3Normalize(const Vector3& v) {
    float length = Vec3Length(v);
    if (length == 0.0f) return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

inline bool IsFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// D3DCOLORVALUE.
struct ColorValue {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
    friend constexpr bool operator==(const ColorValue&, const ColorValue&) = default;
};

// D3DMATERIAL9.
struct Material {
    ColorValue Diffuse, Ambient, Specular, Emissive;
    float Power = 0.0f;
    friend constexpr bool operator==(const Material&, const Material&) = default;
};

// D3DXMATRIX: m[row][column], rows m11..m14 first. This memory layout is
// OpenGL's column-major layout of the same transform.
struct Matrix {
    float m[4][4] = {};
    friend constexpr bool operator==(const Matrix&, const Matrix&) = default;
};

}  // namespace qm
