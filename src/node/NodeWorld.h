#pragma once
// What a node asks of the world it lives in: the three actions of its gene
// that reach its linked neighbours, and the physics its motion obeys.
// NodeManager implements it, so the node model sits below the world.

#include "base/Physics.h"

namespace qm {

class TNode;

class NodeWorld {
  public:
    // Every partner of `a` gets `amount` / (2 x partners) added to the pending input of slot `index`.
    virtual void PulseLinked(TNode* a, int index, double amount) = 0;
    // Every partner of `a` gets tanh(y) x 0.01 added to the pending input of the slot x names.
    virtual void ImpulseLinked(TNode* a, double x, double y) = 0;
    // Cuts every link of `a`.
    virtual void UnLinkNode(TNode* a) = 0;

    // The constants of this world's step, which its nodes' motion and actions obey.
    const Physics& GetPhysics() const { return physics; }

  protected:
    ~NodeWorld() = default;  // never deleted through the interface

    Physics physics;
};

}  // namespace qm
