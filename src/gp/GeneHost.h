#pragma once
// What a gene acts on: the senses and the actions of the node that runs it.
// The primitives see their node only through this interface, so the gene
// engine sits below the node model; TNode implements it.
//
// A program value `x` that names a parameter names slot
// trunc(clamp(tanh x, 0, 1) * 9) (the slot rule of the node).

namespace qm {

class GeneHost {
  public:
    // Senses.
    virtual double GoalProximity() const = 0;  // 1 / distance to the goal
    virtual bool IsOnGround() const = 0;
    virtual int GetEdgeCount() const = 0;

    // Parameters and diffusion rates, by program value.
    virtual double GetP(double x) const = 0;
    virtual void SetP(double a, double b) = 0;
    virtual void AddP(double a, double b) = 0;
    virtual double GetD(double x) const = 0;
    virtual void SetD(double a, double b) = 0;
    virtual void AddD(double a, double b) = 0;

    // Body properties, each from a program value.
    virtual void SetEdgeLength(double x) = 0;
    virtual void SetDynFriction(double x) = 0;
    virtual void SetFrictionDiff(double x) = 0;
    virtual void SetColor(double x, double y, double z) = 0;

    // Requests to the world, carried out after the program has run.
    virtual void RequestDivideG() = 0;
    virtual void RequestDivideT() = 0;
    virtual void RequestDie() = 0;

    // Actions on the linked neighbours, carried out at once.
    virtual void Pulse(double x) = 0;
    virtual void Impulse(double a, double b) = 0;
    virtual void CutEdges() = 0;

  protected:
    ~GeneHost() = default;  // never deleted through the interface
};

}  // namespace qm
