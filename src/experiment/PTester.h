#pragma once
// The experiment driver the shell talks to: it owns the worlds, loads the gene
// that seeds them, steps and draws them, and receives the user's input.

#include <cstdint>
#include <string>
#include <vector>

#include "math/D3dxTypes.h"

namespace qm {

class Device;
class NodeDrawing;
class NodeManager;
struct RunContext;

class PTester {
  public:
    // The driver and its worlds draw from the context's generator, take its
    // node ids and write to its diagnostics; the context outlives the driver.
    explicit PTester(RunContext& context) : context(context) {}
    virtual ~PTester();
    PTester(const PTester&) = delete;
    PTester& operator=(const PTester&) = delete;

    // Wrappers that add the driver's signature line to whatever they raise.
    void Init();
    void Reset(std::string name);
    void Action();
    void Test();
    void Halt();
    bool IsDrawEnabled() const { return drawEnabled; }
    // The first world's centroid; a driver without worlds says where its nodes are.
    virtual const Vector3& GetCentroid() const;

    // Hooks; the base versions do nothing, but Render draws every world.
    virtual void Setup(Device& device);
    virtual void Render(Device& device, NodeDrawing& drawing);
    virtual void MouseMove(Device& device, int x, int y);
    virtual void Click(Device& device, int x, int y, int key);
    virtual void Resize(int width, int height);
    virtual void KeyDown(int key);

    const std::vector<NodeManager*>& Worlds() const { return worlds; }
    RunContext& Context() const { return context; }

  protected:
    // Makes the worldCount empty worlds (Init, then Load, seeds them).
    void CreateWorlds();
    virtual void Load() = 0;
    virtual void DoReset() = 0;
    virtual void DoAction() = 0;
    virtual void DoTest() = 0;
    virtual void DoHalt() = 0;

    RunContext& context;
    std::vector<NodeManager*> worlds;
    std::int32_t worldCount = 1;
    bool drawEnabled = true;
    std::string resetName;
};

}  // namespace qm
