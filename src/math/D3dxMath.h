#pragma once
// The vector, matrix, quaternion and plane operations the scene, the node
// drawing and the picking use, with the conventions and results of the D3DX 9
// library: left-handed coordinates, row vectors (v' = v * M, so A * B applies
// A first), matrices stored m11..m44 row by row, projection depth in [0, 1].
//
// Each function is named after the D3DX operation it stands for and computes
// the published formula of that operation. The general matrix algebra
// (product, inverse, transforms) runs on GLM; the named constructions fill the
// sixteen floats directly so that every element is the documented expression.
//
// No graphics library is included: the engine links this file.

#include <cstdint>

#include "math/D3dxTypes.h"

namespace qm {

// D3DXVECTOR4.
struct Vector4 {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 0.0f;
    friend constexpr bool operator==(const Vector4&, const Vector4&) = default;
};

// D3DXPLANE: the plane a*x + b*y + c*z + d = 0.
struct Plane {
    float a = 0.0f, b = 0.0f, c = 0.0f, d = 0.0f;
    friend constexpr bool operator==(const Plane&, const Plane&) = default;
};

// D3DXQUATERNION: x, y, z vector part, w scalar part.
struct Quaternion {
    float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
    friend constexpr bool operator==(const Quaternion&, const Quaternion&) = default;
};

// D3DVIEWPORT9: the rectangle of the render target drawn into, in pixels, and
// the depth range the projected depth is mapped to.
struct Viewport {
    std::uint32_t X = 0, Y = 0, Width = 0, Height = 0;
    float MinZ = 0.0f, MaxZ = 1.0f;
    friend constexpr bool operator==(const Viewport&, const Viewport&) = default;
};

Matrix MatrixIdentity();

// a * b: the transform that applies a, then b.
Matrix MatrixMultiply(const Matrix& a, const Matrix& b);

// The inverse; a singular matrix gives a matrix of non-finite values.
Matrix MatrixInverse(const Matrix& m);

// View matrix of an eye at `eye` looking at `at`, `up` giving the vertical.
Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up);

// Perspective projection: vertical field of view in radians, aspect = width /
// height, near and far planes; depth maps to [0, 1] between them.
Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar);

// Rotations by an angle in radians, clockwise when looking along the axis
// toward the origin (the left-handed convention).
Matrix MatrixRotationX(float angle);
Matrix MatrixRotationY(float angle);
Matrix MatrixRotationZ(float angle);

Matrix MatrixScaling(float sx, float sy, float sz);
Matrix MatrixTranslation(float x, float y, float z);

// Flattens geometry onto `plane` as seen from `light`: a point light when
// light.w = 1, a directional light (the direction toward the light) when w = 0.
Matrix MatrixShadow(const Vector4& light, const Plane& plane);

// Rotation matrix of a unit quaternion.
Matrix MatrixRotationQuaternion(const Quaternion& q);

// Quaternion of a rotation by `angle` radians about `axis` (normalised first).
Quaternion QuaternionRotationAxis(const Vector3& axis, float angle);

Plane PlaneFromPointNormal(const Vector3& point, const Vector3& normal);

// Scales the plane so that (a, b, c) has unit length; a zero normal gives all zeros.
Plane PlaneNormalize(const Plane& plane);

// a*x + b*y + c*z + d*w.
float PlaneDot(const Plane& plane, const Vector4& v);

// (x, y, z, 1) * m, divided by the resulting w.
Vector3 Vec3TransformCoord(const Vector3& v, const Matrix& m);

// (x, y, z, 0) * m: a direction, the translation row ignored.
Vector3 Vec3TransformNormal(const Vector3& v, const Matrix& m);

// A screen point (pixels, depth in the viewport's range) back to object space
// through the inverse of world * view * projection.
Vector3 Vec3Unproject(const Vector3& v, const Viewport& viewport, const Matrix& projection,
                      const Matrix& view, const Matrix& world);

}  // namespace qm
