// The driver's drawing and picking.

#include "base/Errors.h"
#include "device/Device.h"
#include "experiment/SourceTester.h"
#include "math/D3dxMath.h"
#include "world/NodeManager.h"

namespace qm {

void PTester::Render(Device& device, NodeDrawing& drawing) try {
    for (NodeManager* world : worlds) world->Render(device, drawing);
} catch (...) {
    RethrowSigned("PTester::Render()\n");
}

// The ray under a screen point: unproject it at the near and the far plane.
void SourceTester::Click(Device& device, int x, int y, int key) {
    Viewport viewport = device.GetViewport();
    Matrix projection = device.GetTransform(TransformType::Projection);
    Matrix view = device.GetTransform(TransformType::View);
    Matrix world = MatrixIdentity();
    Vector3 nearPoint = Vec3Unproject({static_cast<float>(x), static_cast<float>(y), 0.0f}, viewport,
                                      projection, view, world);
    Vector3 farPoint = Vec3Unproject({static_cast<float>(x), static_cast<float>(y), 1.0f}, viewport,
                                     projection, view, world);
    worlds.at(0)->PickNode(nearPoint, farPoint - nearPoint, key);
}

}  // namespace qm
