#include "math/D3dxMath.h"

#include <cmath>
#include <cstring>

#include <glm/mat4x4.hpp>
#include <glm/matrix.hpp>
#include <glm/vec4.hpp>

namespace qm {

namespace {

// A D3DX matrix read as memory is GLM's column-major storage of its transpose,
// which is the same transform written for column vectors. So the conversion is
// a plain copy, and a D3DX product a * b is GLM's B * A.
glm::mat4 ToGlm(const Matrix& m) {
    glm::mat4 g;
    static_assert(sizeof(g) == sizeof(m.m));
    std::memcpy(&g, m.m, sizeof(m.m));
    return g;
}

Matrix FromGlm(const glm::mat4& g) {
    Matrix m;
    std::memcpy(m.m, &g, sizeof(m.m));
    return m;
}

}  // namespace

Matrix MatrixIdentity() {
    Matrix m;
    for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
    return m;
}

Matrix MatrixMultiply(const Matrix& a, const Matrix& b) { return FromGlm(ToGlm(b) * ToGlm(a)); }

Matrix MatrixInverse(const Matrix& m) { return FromGlm(glm::inverse(ToGlm(m))); }

Matrix MatrixLookAtLH(const Vector3& eye, const Vector3& at, const Vector3& up) {
    Vector3 zAxis = Vec3Normalize(at - eye);
    Vector3 xAxis = Vec3Cross(up, zAxis);
    Vector3 yAxis = Vec3Cross(zAxis, xAxis);
    xAxis = Vec3Normalize(xAxis);
    yAxis = Vec3Normalize(yAxis);

    Matrix m;
    m.m[0][0] = xAxis.x;
    m.m[1][0] = xAxis.y;
    m.m[2][0] = xAxis.z;
    m.m[3][0] = -Vec3Dot(xAxis, eye);
    m.m[0][1] = yAxis.x;
    m.m[1][1] = yAxis.y;
    m.m[2][1] = yAxis.z;
    m.m[3][1] = -Vec3Dot(yAxis, eye);
    m.m[0][2] = zAxis.x;
    m.m[1][2] = zAxis.y;
    m.m[2][2] = zAxis.z;
    m.m[3][2] = -Vec3Dot(zAxis, eye);
    m.m[3][3] = 1.0f;
    return m;
}

Matrix MatrixPerspectiveFovLH(float fovY, float aspect, float zNear, float zFar) {
    Matrix m;
    m.m[1][1] = 1.0f / std::tan(fovY / 2.0f);
    m.m[0][0] = m.m[1][1] / aspect;
    m.m[2][2] = zFar / (zFar - zNear);
    m.m[2][3] = 1.0f;
    m.m[3][2] = (zFar * zNear) / (zNear - zFar);
    return m;
}

Matrix MatrixRotationX(float angle) {
    Matrix m = MatrixIdentity();
    m.m[1][1] = std::cos(angle);
    m.m[2][2] = std::cos(angle);
    m.m[1][2] = std::sin(angle);
    m.m[2][1] = -std::sin(angle);
    return m;
}

Matrix MatrixRotationY(float angle) {
    Matrix m = MatrixIdentity();
    m.m[0][0] = std::cos(angle);
    m.m[2][2] = std::cos(angle);
    m.m[0][2] = -std::sin(angle);
    m.m[2][0] = std::sin(angle);
    return m;
}

Matrix MatrixRotationZ(float angle) {
    Matrix m = MatrixIdentity();
    m.m[0][0] = std::cos(angle);
    m.m[1][1] = std::cos(angle);
    m.m[0][1] = std::sin(angle);
    m.m[1][0] = -std::sin(angle);
    return m;
}

Matrix MatrixScaling(float sx, float sy, float sz) {
    Matrix m = MatrixIdentity();
    m.m[0][0] = sx;
    m.m[1][1] = sy;
    m.m[2][2] = sz;
    return m;
}

Matrix MatrixTranslation(float x, float y, float z) {
    Matrix m = MatrixIdentity();
    m.m[3][0] = x;
    m.m[3][1] = y;
    m.m[3][2] = z;
    return m;
}

Matrix MatrixShadow(const Vector4& light, const Plane& plane) {
    // dot * I - plane^T * light: a point p goes to dot * p - (p . plane) * light,
    // which lies on the plane and on the line from p toward the light.
    const Plane n = PlaneNormalize(plane);
    const float dot = PlaneDot(n, light);
    const float p[4] = {n.a, n.b, n.c, n.d};
    const float l[4] = {light.x, light.y, light.z, light.w};
    Matrix m;
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            m.m[row][col] = (row == col ? dot : 0.0f) - p[row] * l[col];
        }
    }
    return m;
}

Matrix MatrixRotationQuaternion(const Quaternion& q) {
    Matrix m = MatrixIdentity();
    m.m[0][0] = 1.0f - 2.0f * (q.y * q.y + q.z * q.z);
    m.m[0][1] = 2.0f * (q.x * q.y + q.z * q.w);
    m.m[0][2] = 2.0f * (q.x * q.z - q.y * q.w);
    m.m[1][0] = 2.0f * (q.x * q.y - q.z * q.w);
    m.m[1][1] = 1.0f - 2.0f * (q.x * q.x + q.z * q.z);
    m.m[1][2] = 2.0f * (q.y * q.z + q.x * q.w);
    m.m[2][0] = 2.0f * (q.x * q.z + q.y * q.w);
    m.m[2][1] = 2.0f * (q.y * q.z - q.x * q.w);
    m.m[2][2] = 1.0f - 2.0f * (q.x * q.x + q.y * q.y);
    return m;
}

Quaternion QuaternionRotationAxis(const Vector3& axis, float angle) {
    const Vector3 n = Vec3Normalize(axis);
    const float s = std::sin(angle / 2.0f);
    return {s * n.x, s * n.y, s * n.z, std::cos(angle / 2.0f)};
}

Plane PlaneFromPointNormal(const Vector3& point, const Vector3& normal) {
    return {normal.x, normal.y, normal.z, -Vec3Dot(point, normal)};
}

Plane PlaneNormalize(const Plane& plane) {
    const float norm = std::sqrt(plane.a * plane.a + plane.b * plane.b + plane.c * plane.c);
    if (norm == 0.0f) return {};
    return {plane.a / norm, plane.b / norm, plane.c / norm, plane.d / norm};
}

float PlaneDot(const Plane& plane, const Vector4& v) {
    return plane.a * v.x + plane.b * v.y + plane.c * v.z + plane.d * v.w;
}

Vector3 Vec3TransformCoord(const Vector3& v, const Matrix& m) {
    const glm::vec4 r = ToGlm(m) * glm::vec4(v.x, v.y, v.z, 1.0f);
    return {r.x / r.w, r.y / r.w, r.z / r.w};
}

Vector3 Vec3TransformNormal(const Vector3& v, const Matrix& m) {
    const glm::vec4 r = ToGlm(m) * glm::vec4(v.x, v.y, v.z, 0.0f);
    return {r.x, r.y, r.z};
}

Vector3 Vec3Unproject(const Vector3& v, const Viewport& viewport, const Matrix& projection,
                      const Matrix& view, const Matrix& world) {
    const Matrix inverse = MatrixInverse(MatrixMultiply(MatrixMultiply(world, view), projection));
    const Vector3 ndc{
        2.0f * (v.x - static_cast<float>(viewport.X)) / static_cast<float>(viewport.Width) - 1.0f,
        1.0f - 2.0f * (v.y - static_cast<float>(viewport.Y)) / static_cast<float>(viewport.Height),
        (v.z - viewport.MinZ) / (viewport.MaxZ - viewport.MinZ),
    };
    return Vec3TransformCoord(ndc, inverse);
}

}  // namespace qm
