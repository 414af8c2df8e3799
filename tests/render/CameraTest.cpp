// The camera against its definitions: where start-up leaves it, what each
// movement does, and what it hands to the device.

#include <cmath>

#include <gtest/gtest.h>

#include "render/Camera.h"
#include "support/RecordingDevice.h"

namespace qm {
namespace {

void ExpectNear(const Vector3& a, const Vector3& b, float eps = 1e-4f) {
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

Camera StartCamera() {
    Camera camera;
    camera.SetAspect(640.0f / 480.0f);
    camera.Dolly(-1.0f);
    return camera;
}

TEST(Camera, StartsTwentyUnitsBehindTheOriginLookingAtIt) {
    Camera camera = StartCamera();
    EXPECT_EQ(camera.eye, Vector3(0, 0, -20));
    EXPECT_EQ(camera.aspect, 1.3333334f);
    RecordingDevice device;
    camera.Apply(device);
    EXPECT_EQ(camera.lookAt, Vector3(0, 0, 0));
    // The origin is 20 units straight ahead.
    ExpectNear(Vec3TransformCoord({0, 0, 0}, device.GetTransform(TransformType::View)), {0, 0, 20});
    // The goal at (0, -15, 250) is ahead and below the centre of the view.
    const Matrix viewProjection = MatrixMultiply(device.GetTransform(TransformType::View),
                                                 device.GetTransform(TransformType::Projection));
    const Vector3 goal = Vec3TransformCoord({0, -15, 250}, viewProjection);
    EXPECT_NEAR(goal.x, 0.0f, 1e-6f);
    EXPECT_LT(goal.y, 0.0f);
    EXPECT_GT(goal.y, -1.0f);
}

TEST(Camera, ApplySetsTheLookAtViewAndTheProjection) {
    Camera camera = StartCamera();
    RecordingDevice device;
    camera.Apply(device);
    EXPECT_EQ(device.GetTransform(TransformType::View), MatrixLookAtLH({0, 0, -20}, {0, 0, 0}, {0, 1, 0}));
    EXPECT_EQ(device.GetTransform(TransformType::Projection),
              MatrixPerspectiveFovLH(0.7853982f, 640.0f / 480.0f, 0.1f, 2000.0f));
    EXPECT_EQ(camera.view, device.GetTransform(TransformType::View));
    EXPECT_EQ(device.CallsStartingWith("SetTransform"),
              (std::vector<std::string>{"SetTransform View", "SetTransform Projection"}));
}

TEST(Camera, DollyMovesAlongTheDirection) {
    Camera camera = StartCamera();
    camera.Dolly(0.1f);
    ExpectNear(camera.eye, {0, 0, -18});
    camera.Dolly(-0.1f);
    ExpectNear(camera.eye, {0, 0, -20});
}

TEST(Camera, PanMovesAlongTheCameraAxes) {
    Camera camera = StartCamera();
    camera.PanRight(3.0f);
    camera.PanUp(-2.0f);
    ExpectNear(camera.eye, {3, -2, -20});
}

TEST(Camera, TurnByNothingChangesNothing) {
    Camera camera = StartCamera();
    const Camera before = camera;
    camera.Turn(0.0f, 0.0f);
    EXPECT_EQ(camera.direction, before.direction);
    EXPECT_EQ(camera.rightAxis, before.rightAxis);
    EXPECT_EQ(camera.upAxis, before.upAxis);
    EXPECT_EQ(camera.eye, before.eye);
}

TEST(Camera, PositiveTurnAboutTheRightAxisLooksDown) {
    // A quarter turn about +x takes the view direction +z to -y.
    Camera camera = StartCamera();
    camera.Turn(1.5707964f, 0.0f);
    ExpectNear(camera.direction, {0, -20, 0});
    ExpectNear(camera.upAxis, {0, 0, 1});
    ExpectNear(camera.rightAxis, {1, 0, 0});
    EXPECT_EQ(camera.up, camera.upAxis);
}

TEST(Camera, PositiveTurnAboutTheUpAxisLooksRight) {
    Camera camera = StartCamera();
    camera.Turn(0.0f, 1.5707964f);
    ExpectNear(camera.direction, {20, 0, 0});
    ExpectNear(camera.rightAxis, {0, 0, -1});
}

TEST(Camera, TurnRotatesAboutTheRightAxisFirst) {
    // Pitch down a quarter turn, then yaw about the old up axis (+y) a quarter
    // turn: straight down stays straight down, the up axis swings from +z to +x.
    Camera camera = StartCamera();
    camera.Turn(1.5707964f, 1.5707964f);
    ExpectNear(camera.direction, {0, -20, 0});
    ExpectNear(camera.upAxis, {1, 0, 0});
    ExpectNear(camera.rightAxis, {0, 0, -1});
}

TEST(Camera, TurnKeepsTheLengthAndTheAxesOrthonormal) {
    Camera camera = StartCamera();
    for (int i = 0; i < 50; ++i)
        camera.Turn(0.03f * static_cast<float>(i % 7), -0.05f * static_cast<float>(i % 5));
    EXPECT_NEAR(Vec3Length(camera.direction), 20.0f, 1e-3f);
    EXPECT_NEAR(Vec3Length(camera.rightAxis), 1.0f, 1e-4f);
    EXPECT_NEAR(Vec3Length(camera.upAxis), 1.0f, 1e-4f);
    EXPECT_NEAR(Vec3Dot(camera.rightAxis, camera.upAxis), 0.0f, 1e-4f);
    EXPECT_NEAR(Vec3Dot(camera.direction, camera.upAxis), 0.0f, 1e-3f);
}

TEST(Camera, OrbitKeepsThePointLookedAt) {
    Camera camera = StartCamera();
    camera.eye = {3, 4, -15};
    const Vector3 target = camera.eye + camera.direction;
    camera.Orbit(0.4f, -0.7f);
    ExpectNear(camera.eye + camera.direction, target);
    EXPECT_NEAR(Vec3Length(camera.direction), 20.0f, 1e-3f);
    // A quarter orbit downward puts the eye straight above the target.
    Camera overhead = StartCamera();
    overhead.Orbit(1.5707964f, 0.0f);
    ExpectNear(overhead.eye, {0, 20, 0});
}

TEST(Camera, CenterOnLooksAtThePointAtTheNextApply) {
    Camera camera = StartCamera();
    RecordingDevice device;
    camera.Apply(device);
    camera.CenterOn({5, -24, 30});
    ExpectNear(camera.eye, {5, -24, 10});
    camera.Apply(device);
    ExpectNear(camera.lookAt, {5, -24, 30});
}

TEST(Camera, CenterOnUsesTheLookAtOfTheLastApply) {
    // Moved since the last Apply: the shift is measured from the old look-at point.
    Camera camera = StartCamera();
    RecordingDevice device;
    camera.Apply(device);
    camera.Dolly(0.5f);  // eye (0, 0, -10); lookAt still the origin
    camera.CenterOn({1, 0, 0});
    ExpectNear(camera.eye, {1, 0, -10});
}

}  // namespace
}  // namespace qm
