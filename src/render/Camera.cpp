#include "render/Camera.h"

#include "device/Device.h"

namespace qm {

void Camera::Dolly(float s) { eye += s * direction; }

void Camera::PanRight(float s) { eye += s * rightAxis; }

void Camera::PanUp(float s) { eye += s * upAxis; }

void Camera::Turn(float a, float b) {
    // Both quaternions come from the axes as they were before the call, and the
    // rotation about the right axis is applied first.
    const Quaternion aboutRight = QuaternionRotationAxis(rightAxis, a);
    const Quaternion aboutUp = QuaternionRotationAxis(upAxis, b);
    const Matrix rotation =
        MatrixMultiply(MatrixRotationQuaternion(aboutRight), MatrixRotationQuaternion(aboutUp));
    direction = Vec3TransformCoord(direction, rotation);
    upAxis = Vec3TransformCoord(upAxis, rotation);
    rightAxis = Vec3TransformCoord(rightAxis, rotation);
    up = upAxis;
}

void Camera::Orbit(float a, float b) {
    const Vector3 before = direction;
    Turn(a, b);
    eye -= direction - before;
}

void Camera::CenterOn(const Vector3& p) { eye += p - lookAt; }

void Camera::Apply(Device& device) {
    lookAt = eye + direction;
    view = MatrixLookAtLH(eye, lookAt, up);
    device.SetTransform(TransformType::View, view);
    projection = MatrixPerspectiveFovLH(fieldOfView, aspect, kNearPlane, kFarPlane);
    device.SetTransform(TransformType::Projection, projection);
}

}  // namespace qm
