// The 42 primitives. Each is its own class (an instantiation of one of the
// arity templates below with its own behaviour) with a single instance.
// Arguments arrive as unevaluated views; each primitive evaluates the ones it
// needs in the order it needs them.

#include <cmath>

#include "gp/GPfunction.h"
#include "gp/GPmanager.h"
#include "gp/GeneHost.h"
#include "gp/SubUnit.h"
#include "gp/Unit.h"

namespace qm {
namespace {

template <class Body>
class Terminal final : public GPfunction {
  public:
    Terminal(int index, const char* name, Body body) : GPfunction(0, index, name), body(body) {}
    double Eval0(SubUnit& self) override { return body(self.unit->node); }
    double Eval1(SubUnit&) override { return -1.0; }
    double Eval2(SubUnit&, SubUnit&) override { return -1.0; }
    double Eval3(SubUnit&, SubUnit&, SubUnit&) override { return -1.0; }

  private:
    Body body;
};

template <class Body>
class Unary final : public GPfunction {
  public:
    Unary(int index, const char* name, Body body) : GPfunction(1, index, name), body(body) {}
    double Eval0(SubUnit&) override { return -1.0; }
    double Eval1(SubUnit& a) override { return body(a.unit->node, a); }
    double Eval2(SubUnit&, SubUnit&) override { return -1.0; }
    double Eval3(SubUnit&, SubUnit&, SubUnit&) override { return -1.0; }

  private:
    Body body;
};

template <class Body>
class Binary final : public GPfunction {
  public:
    Binary(int index, const char* name, Body body) : GPfunction(2, index, name), body(body) {}
    double Eval0(SubUnit&) override { return -1.0; }
    double Eval1(SubUnit&) override { return -1.0; }
    double Eval2(SubUnit& a, SubUnit& b) override { return body(a.unit->node, a, b); }
    double Eval3(SubUnit&, SubUnit&, SubUnit&) override { return -1.0; }

  private:
    Body body;
};

template <class Body>
class Ternary final : public GPfunction {
  public:
    Ternary(int index, const char* name, Body body) : GPfunction(3, index, name), body(body) {}
    double Eval0(SubUnit&) override { return -1.0; }
    double Eval1(SubUnit&) override { return -1.0; }
    double Eval2(SubUnit&, SubUnit&) override { return -1.0; }
    double Eval3(SubUnit& a, SubUnit& b, SubUnit& c) override { return body(a.unit->node, a, b, c); }

  private:
    Body body;
};

using List = std::vector<std::unique_ptr<GPfunction>>;

template <class Body>
void Add0(List& list, int index, const char* name, Body body) {
    list.push_back(std::make_unique<Terminal<Body>>(index, name, body));
}
template <class Body>
void Add1(List& list, int index, const char* name, Body body) {
    list.push_back(std::make_unique<Unary<Body>>(index, name, body));
}
template <class Body>
void Add2(List& list, int index, const char* name, Body body) {
    list.push_back(std::make_unique<Binary<Body>>(index, name, body));
}
template <class Body>
void Add3(List& list, int index, const char* name, Body body) {
    list.push_back(std::make_unique<Ternary<Body>>(index, name, body));
}

// Both arguments, first to last.
struct Pair {
    double v, w;
};
Pair Both(SubUnit& a, SubUnit& b) {
    double v = a.Operate();
    double w = b.Operate();
    return {v, w};
}

// GDIVIDE, TDIVIDE and PULSE fire on the parameter v selects, not on v, and consume it.
bool Full(const GeneHost* n, double v) { return n->GetP(v) >= 1.0; }

}  // namespace

std::vector<std::unique_ptr<GPfunction>> CreatePrimitives() {
    List f;
    // CONSTV's value is returned by SubUnit::Operate itself; this is never called.
    Add0(f, 0, "CONSTV", [](GeneHost*) { return 0.0; });
    Add0(f, 1, "SMELL", [](GeneHost* n) { return n->GoalProximity(); });
    Add0(f, 2, "GROUND", [](GeneHost* n) { return n->IsOnGround() ? 1.0 : 0.0; });
    Add0(f, 3, "ECOUNT", [](GeneHost* n) { return 1.0 / (n->GetEdgeCount() + 1); });
    Add0(f, 4, "DIE", [](GeneHost* n) {
        n->RequestDie();
        return 0.0;
    });
    Add0(f, 5, "CUTEDGE", [](GeneHost* n) {
        if (n->GetEdgeCount() <= 0) return 0.0;
        n->CutEdges();
        return 1.0;
    });
    Add1(f, 9, "PULSE", [](GeneHost* n, SubUnit& a) {
        double v = a.Operate();
        if (Full(n, v)) {
            n->Pulse(v);
            n->SetP(v, 0.0);
        }
        return v;
    });
    Add1(f, 0, "NEG", [](GeneHost*, SubUnit& a) { return -a.Operate(); });
    Add1(f, 1, "ABS", [](GeneHost*, SubUnit& a) { return std::fabs(a.Operate()); });
    Add1(f, 2, "NOT", [](GeneHost*, SubUnit& a) { return a.Operate() == 0.0 ? 1.0 : 0.0; });
    Add1(f, 3, "POW2", [](GeneHost*, SubUnit& a) {
        double v = a.Operate();
        return v * v;
    });
    Add1(f, 4, "POW3", [](GeneHost*, SubUnit& a) {
        double v = a.Operate();
        return v * v * v;
    });
    Add1(f, 5, "POW4", [](GeneHost*, SubUnit& a) {
        double v = a.Operate();
        return v * v * v * v;
    });
    Add1(f, 6, "GDIVIDE", [](GeneHost* n, SubUnit& a) {
        double v = a.Operate();
        if (Full(n, v)) {
            n->RequestDivideG();
            n->SetP(v, 0.0);
        }
        return v;
    });
    Add1(f, 7, "TDIVIDE", [](GeneHost* n, SubUnit& a) {
        double v = a.Operate();
        if (Full(n, v)) {
            n->RequestDivideT();
            n->SetP(v, 0.0);
        }
        return v;
    });
    Add1(f, 8, "ELENGTH", [](GeneHost* n, SubUnit& a) {
        double v = a.Operate();
        n->SetEdgeLength(n->GetP(v));
        return v;
    });
    Add1(f, 10, "DYNFRIC", [](GeneHost* n, SubUnit& a) {
        double v = a.Operate();
        n->SetDynFriction(v);
        return v;
    });
    Add1(f, 11, "DIFFRIC", [](GeneHost* n, SubUnit& a) {
        double v = a.Operate();
        n->SetFrictionDiff(v);
        return v;
    });
    Add1(f, 12, "GETP", [](GeneHost* n, SubUnit& a) { return n->GetP(a.Operate()); });
    Add1(f, 13, "GETD", [](GeneHost* n, SubUnit& a) { return n->GetD(a.Operate()); });
    Add2(f, 0, "AND", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return (v != 0.0 && w != 0.0) ? w : 0.0;
    });
    Add2(f, 1, "OR", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        if (v != 0.0) return v;
        return w != 0.0 ? w : 0.0;
    });
    Add2(f, 2, "IMPULSE", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        double v = a.Operate();
        if (Full(n, v)) {
            double w = b.Operate();
            n->Impulse(v, w);
            n->SetP(v, 0.0);
        }
        return v;
    });
    Add2(f, 3, "ADDPAR", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        n->AddP(v, w);
        return v;
    });
    Add2(f, 4, "SUBPAR", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        n->AddP(v, -w);
        return v;
    });
    Add2(f, 5, "ADDDIF", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        n->AddD(v, w);
        return v;
    });
    Add2(f, 6, "SUBDIF", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        n->AddD(v, -w);
        return v;
    });
    Add2(f, 7, "ADD", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v + w;
    });
    Add2(f, 8, "SUB", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v - w;
    });
    Add2(f, 9, "MUL", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v * w;
    });
    Add2(f, 10, "DIV", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        double w = b.Operate();
        if (w == 0.0) {
            n->RequestDie();
            return 0.0;
        }
        double v = a.Operate();
        return v / w;
    });
    Add2(f, 11, "LT", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v < w ? 1.0 : 0.0;
    });
    Add2(f, 12, "GT", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v > w ? 1.0 : 0.0;
    });
    Add2(f, 13, "MIN", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v < w ? v : w;
    });
    Add2(f, 14, "MAX", [](GeneHost*, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        return v > w ? v : w;
    });
    Add2(f, 15, "IFT", [](GeneHost*, SubUnit& a, SubUnit& b) {
        if (a.Operate() == 0.0) return 0.0;
        return b.Operate();
    });
    Add2(f, 16, "PROG2", [](GeneHost*, SubUnit& a, SubUnit& b) {
        a.Operate();
        return b.Operate();
    });
    Add2(f, 17, "SETP", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        n->SetP(v, w);
        return v;
    });
    Add2(f, 18, "SETD", [](GeneHost* n, SubUnit& a, SubUnit& b) {
        auto [v, w] = Both(a, b);
        n->SetD(v, w);
        return v;
    });
    Add3(f, 0, "IFTE", [](GeneHost*, SubUnit& a, SubUnit& b, SubUnit& c) {
        return a.Operate() != 0.0 ? b.Operate() : c.Operate();
    });
    Add3(f, 1, "PROG3", [](GeneHost*, SubUnit& a, SubUnit& b, SubUnit& c) {
        a.Operate();
        b.Operate();
        return c.Operate();
    });
    // The one primitive that evaluates its arguments last to first.
    Add3(f, 2, "SETCOLP", [](GeneHost* n, SubUnit& a, SubUnit& b, SubUnit& c) {
        double z = c.Operate();
        double y = b.Operate();
        double x = a.Operate();
        n->SetColor(x, y, z);
        return 0.0;
    });
    return f;
}

}  // namespace qm
