#pragma once
// The viewer: an eye, a direction it looks along and its own right and up
// axes, turned by the mouse and moved by the keys. Apply hands the view and
// projection transforms to the device.
//
// Left-handed coordinates, y up; the camera starts at the origin looking
// along +z with a direction 20 units long, which is also the unit of Dolly.

#include "math/D3dxMath.h"

namespace qm {

class Device;

class Camera {
  public:
    Vector3 eye{0.0f, 0.0f, 0.0f};
    Vector3 lookAt{0.0f, 0.0f, 0.0f};      // eye + direction, as of the last Apply
    Vector3 up{0.0f, 1.0f, 0.0f};          // handed to the view matrix
    Vector3 direction{0.0f, 0.0f, 20.0f};  // from the eye to the point looked at
    Matrix view;
    Matrix projection;
    float aspect = 1.0f;             // width / height
    float fieldOfView = 0.7853982f;  // vertical, radians (pi / 4)
    Vector3 rightAxis{1.0f, 0.0f, 0.0f};
    Vector3 upAxis{0.0f, 1.0f, 0.0f};

    static constexpr float kNearPlane = 0.1f;
    static constexpr float kFarPlane = 2000.0f;

    // eye += s * direction.
    void Dolly(float s);
    // eye += s * rightAxis.
    void PanRight(float s);
    // eye += s * upAxis.
    void PanUp(float s);
    // Rotates in place: by angle a (radians) about the right axis, then by b
    // about the camera's up axis. The direction keeps its length.
    void Turn(float a, float b);
    // The same rotation, moving the eye so that the point looked at stays put.
    void Orbit(float a, float b);
    // Moves the eye so that the next Apply looks at p (if nothing else moves).
    void CenterOn(const Vector3& p);
    void SetAspect(float a) { aspect = a; }
    // Sets the device's view and projection transforms.
    void Apply(Device& device);
};

}  // namespace qm
