// The D3DX-convention math against values worked out by hand from the
// definitions: row vectors, left-handed axes, depth in [0, 1].

#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "math/D3dxMath.h"

namespace qm {
namespace {

constexpr float kEps = 1e-5f;
constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const Vector3& actual, const Vector3& expected, float eps = kEps) {
    EXPECT_NEAR(actual.x, expected.x, eps);
    EXPECT_NEAR(actual.y, expected.y, eps);
    EXPECT_NEAR(actual.z, expected.z, eps);
}

void ExpectNear(const Matrix& actual, const Matrix& expected, float eps = kEps) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_NEAR(actual.m[r][c], expected.m[r][c], eps) << "element m" << r + 1 << c + 1;
        }
    }
}

Matrix Rows(std::initializer_list<std::initializer_list<float>> rows) {
    Matrix m;
    int r = 0;
    for (auto row : rows) {
        int c = 0;
        for (float v : row) m.m[r][c++] = v;
        ++r;
    }
    return m;
}

TEST(D3dxMath, IdentityHasOnesOnTheDiagonal) {
    EXPECT_EQ(MatrixIdentity(), Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}));
}

TEST(D3dxMath, MultiplyAppliesTheLeftMatrixFirst) {
    const Matrix scaleThenMove = MatrixMultiply(MatrixScaling(2, 2, 2), MatrixTranslation(1, 2, 3));
    ExpectNear(Vec3TransformCoord({1, 1, 1}, scaleThenMove), {3, 4, 5});
    const Matrix moveThenScale = MatrixMultiply(MatrixTranslation(1, 2, 3), MatrixScaling(2, 2, 2));
    ExpectNear(Vec3TransformCoord({1, 1, 1}, moveThenScale), {4, 6, 8});
}

TEST(D3dxMath, MultiplyIsTheRowByColumnProduct) {
    const Matrix a = Rows({{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}});
    const Matrix b = Rows({{2, 0, 0, 1}, {0, 3, 0, 0}, {1, 0, 1, 0}, {0, 0, 0, 1}});
    // Row 1 of a*b: (1*2 + 3*1, 2*3, 3*1, 1*1 + 4*1) = (5, 6, 3, 5).
    const Matrix p = MatrixMultiply(a, b);
    EXPECT_FLOAT_EQ(p.m[0][0], 5);
    EXPECT_FLOAT_EQ(p.m[0][1], 6);
    EXPECT_FLOAT_EQ(p.m[0][2], 3);
    EXPECT_FLOAT_EQ(p.m[0][3], 5);
    // Row 4: (13*2 + 15*1, 14*3, 15, 13 + 16) = (41, 42, 15, 29).
    EXPECT_FLOAT_EQ(p.m[3][0], 41);
    EXPECT_FLOAT_EQ(p.m[3][1], 42);
    EXPECT_FLOAT_EQ(p.m[3][2], 15);
    EXPECT_FLOAT_EQ(p.m[3][3], 29);
}

TEST(D3dxMath, InverseUndoesTheTransform) {
    const Matrix m = MatrixMultiply(MatrixMultiply(MatrixScaling(2, 3, 4), MatrixRotationY(0.7f)),
                                    MatrixTranslation(5, -6, 7));
    ExpectNear(MatrixMultiply(m, MatrixInverse(m)), MatrixIdentity());
    ExpectNear(Vec3TransformCoord(Vec3TransformCoord({1, 2, 3}, m), MatrixInverse(m)), {1, 2, 3}, 1e-4f);
}

TEST(D3dxMath, TranslationIsTheFourthRow) {
    EXPECT_EQ(MatrixTranslation(1, 2, 3), Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {1, 2, 3, 1}}));
}

TEST(D3dxMath, RotationsAreLeftHanded) {
    // A quarter turn about z takes x to y; about x takes y to z; about y takes z to x.
    ExpectNear(Vec3TransformNormal({1, 0, 0}, MatrixRotationZ(kPi / 2)), {0, 1, 0});
    ExpectNear(Vec3TransformNormal({0, 1, 0}, MatrixRotationX(kPi / 2)), {0, 0, 1});
    ExpectNear(Vec3TransformNormal({0, 0, 1}, MatrixRotationY(kPi / 2)), {1, 0, 0});
    ExpectNear(Vec3TransformNormal({1, 0, 0}, MatrixRotationY(kPi / 2)), {0, 0, -1});
}

TEST(D3dxMath, RotationYElements) {
    const float c = std::cos(0.3f), s = std::sin(0.3f);
    ExpectNear(MatrixRotationY(0.3f), Rows({{c, 0, -s, 0}, {0, 1, 0, 0}, {s, 0, c, 0}, {0, 0, 0, 1}}));
}

TEST(D3dxMath, LookAtFromTheStartCamera) {
    // Eye at (0, 0, -20) looking at the origin: axes unchanged, the origin 20 ahead.
    const Matrix view = MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0});
    ExpectNear(view, Rows({{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 20, 1}}));
}

TEST(D3dxMath, LookAtGeneralCase) {
    // Eye (1, 2, 3) toward (4, 6, 3) with up +z: forward (0.6, 0.8, 0), right
    // up x forward = (-0.8, 0.6, 0), camera up forward x right = (0, 0, 1).
    const Matrix view = MatrixLookAtLH({1, 2, 3}, {4, 6, 3}, {0, 0, 1});
    ExpectNear(view, Rows({{-0.8f, 0, 0.6f, 0}, {0.6f, 0, 0.8f, 0}, {0, 1, 0, 0}, {-0.4f, -3, -2.2f, 1}}));
    ExpectNear(Vec3TransformCoord({4, 6, 3}, view), {0, 0, 5});
}

TEST(D3dxMath, PerspectiveFovElements) {
    const float yScale = 1.0f / std::tan(kPi / 8);  // 2.4142137
    const Matrix p = MatrixPerspectiveFovLH(kPi / 4, 640.0f / 480.0f, 0.1f, 2000.0f);
    EXPECT_NEAR(p.m[1][1], 2.4142137f, kEps);
    EXPECT_NEAR(p.m[0][0], yScale * 0.75f, kEps);
    EXPECT_NEAR(p.m[2][2], 2000.0f / 1999.9f, kEps);
    EXPECT_NEAR(p.m[3][2], -0.1f * 2000.0f / 1999.9f, kEps);
    EXPECT_EQ(p.m[2][3], 1.0f);
    EXPECT_EQ(p.m[3][3], 0.0f);
}

TEST(D3dxMath, PerspectiveMapsNearAndFarToZeroAndOne) {
    const Matrix p = MatrixPerspectiveFovLH(kPi / 4, 1.0f, 0.1f, 2000.0f);
    EXPECT_NEAR(Vec3TransformCoord({0, 0, 0.1f}, p).z, 0.0f, kEps);
    EXPECT_NEAR(Vec3TransformCoord({0, 0, 2000.0f}, p).z, 1.0f, kEps);
    // A point on the top edge of the field of view lands on y = 1.
    EXPECT_NEAR(Vec3TransformCoord({0, 10.0f * std::tan(kPi / 8), 10.0f}, p).y, 1.0f, kEps);
}

TEST(D3dxMath, QuaternionRotationAxisNormalisesTheAxis) {
    const Quaternion q = QuaternionRotationAxis({0, 0, 2}, kPi / 2);
    EXPECT_NEAR(q.x, 0.0f, kEps);
    EXPECT_NEAR(q.y, 0.0f, kEps);
    EXPECT_NEAR(q.z, std::sqrt(0.5f), kEps);
    EXPECT_NEAR(q.w, std::sqrt(0.5f), kEps);
}

TEST(D3dxMath, QuaternionMatrixMatchesTheAxisRotations) {
    ExpectNear(MatrixRotationQuaternion(QuaternionRotationAxis({0, 0, 1}, 0.9f)), MatrixRotationZ(0.9f));
    ExpectNear(MatrixRotationQuaternion(QuaternionRotationAxis({1, 0, 0}, -0.4f)), MatrixRotationX(-0.4f));
    ExpectNear(MatrixRotationQuaternion(QuaternionRotationAxis({0, 3, 0}, 2.0f)), MatrixRotationY(2.0f));
    ExpectNear(MatrixRotationQuaternion(QuaternionRotationAxis({1, 2, 3}, 0.0f)), MatrixIdentity());
}

TEST(D3dxMath, QuaternionAboutADiagonalCyclesTheAxes) {
    // A third of a turn about (1, 1, 1) takes x to y, y to z and z to x.
    const Matrix m = MatrixRotationQuaternion(QuaternionRotationAxis({1, 1, 1}, 2.0f * kPi / 3.0f));
    ExpectNear(Vec3TransformNormal({1, 0, 0}, m), {0, 1, 0});
    ExpectNear(Vec3TransformNormal({0, 1, 0}, m), {0, 0, 1});
    ExpectNear(Vec3TransformNormal({0, 0, 1}, m), {1, 0, 0});
}

TEST(D3dxMath, PlaneFromPointNormalAndNormalize) {
    EXPECT_EQ(PlaneFromPointNormal({0, -25.49f, 0}, {0, 1, 0}), (Plane{0, 1, 0, 25.49f}));
    const Plane n = PlaneNormalize({0, 2, 0, 4});
    EXPECT_EQ(n, (Plane{0, 1, 0, 2}));
    EXPECT_EQ(PlaneNormalize({0, 0, 0, 3}), Plane{});
    EXPECT_FLOAT_EQ(PlaneDot({1, 2, 3, 4}, {1, 1, 1, 1}), 10.0f);
}

TEST(D3dxMath, ShadowOfADirectionalLight) {
    // Light toward (1, 1, 0), plane y = 0: (0, 5, 0) slides down along (1, 1, 0) to (-5, 0, 0).
    const Matrix shadow = MatrixShadow({1, 1, 0, 0}, {0, 1, 0, 0});
    ExpectNear(Vec3TransformCoord({0, 5, 0}, shadow), {-5, 0, 0});
    ExpectNear(Vec3TransformCoord({3, 2, 7}, shadow), {1, 0, 7});
}

TEST(D3dxMath, ShadowOfAPointLight) {
    // From a light at (0, 10, 0), the point (1, 5, 0) falls on y = 0 at (2, 0, 0).
    const Matrix shadow = MatrixShadow({0, 10, 0, 1}, {0, 1, 0, 0});
    ExpectNear(Vec3TransformCoord({1, 5, 0}, shadow), {2, 0, 0});
}

TEST(D3dxMath, ShadowElementsAreDotTimesIdentityMinusPlaneTimesLight) {
    // Plane y = -25.49 (normalised from a scaled normal), light (-1, 2, 0.5, 0): dot = 2.
    const Matrix s = MatrixShadow({-1, 2, 0.5f, 0}, {0, 2, 0, 50.98f});
    ExpectNear(s, Rows({{2, 0, 0, 0}, {1, 0, -0.5f, 0}, {0, 0, 2, 0}, {25.49f, -50.98f, -12.745f, 2}}),
               1e-4f);
    // Whatever the height, the shadow lies on the plane with a positive w.
    const Vector3 p = Vec3TransformCoord({4, 10, -3}, s);
    EXPECT_NEAR(p.y, -25.49f, 1e-4f);
    // It slid along the light vector (-1, 2, 0.5), (10 + 25.49) / 2 times its length, away from the light.
    ExpectNear(p, {4 + 17.745f, -25.49f, -3 - 8.8725f}, 1e-4f);
}

TEST(D3dxMath, TransformCoordDividesByW) {
    Matrix m = MatrixIdentity();
    m.m[3][3] = 2.0f;
    ExpectNear(Vec3TransformCoord({2, 4, 6}, m), {1, 2, 3});
}

TEST(D3dxMath, TransformNormalIgnoresTranslation) {
    ExpectNear(Vec3TransformNormal({1, 2, 3}, MatrixTranslation(10, 20, 30)), {1, 2, 3});
}

TEST(D3dxMath, UnprojectThroughIdentityMapsPixelsToNormalisedCoordinates) {
    const Viewport vp{0, 0, 640, 480, 0.0f, 1.0f};
    const Matrix id = MatrixIdentity();
    ExpectNear(Vec3Unproject({320, 240, 0.5f}, vp, id, id, id), {0, 0, 0.5f});
    ExpectNear(Vec3Unproject({0, 0, 0}, vp, id, id, id), {-1, 1, 0});
    ExpectNear(Vec3Unproject({640, 480, 1}, vp, id, id, id), {1, -1, 1});
    // The viewport's offset and depth range are taken out first.
    const Viewport offset{100, 50, 200, 100, 0.5f, 1.0f};
    ExpectNear(Vec3Unproject({200, 100, 0.75f}, offset, id, id, id), {0, 0, 0.5f});
}

TEST(D3dxMath, UnprojectFromTheStartCameraGivesTheNearAndFarPoints) {
    const Viewport vp{0, 0, 640, 480, 0.0f, 1.0f};
    const Matrix view = MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0});
    const Matrix proj = MatrixPerspectiveFovLH(kPi / 4, 640.0f / 480.0f, 0.1f, 2000.0f);
    ExpectNear(Vec3Unproject({320, 240, 0}, vp, proj, view, MatrixIdentity()), {0, 0, -19.9f}, 1e-3f);
    // Depth near 1 is ill-conditioned in single precision: a tenth of a percent is all it keeps.
    ExpectNear(Vec3Unproject({320, 240, 1}, vp, proj, view, MatrixIdentity()), {0, 0, 1980.0f}, 2.0f);
    // The top-left pixel on the near plane: half-heights tan(pi/8) * 0.1, width 4/3 of it.
    const float h = std::tan(kPi / 8) * 0.1f;
    ExpectNear(Vec3Unproject({0, 0, 0}, vp, proj, view, MatrixIdentity()), {-h * 4.0f / 3.0f, h, -19.9f},
               1e-4f);
}

}  // namespace
}  // namespace qm
