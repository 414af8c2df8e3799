// A small world stepped twice: by the engine, and by a plain reference written
// here from the rules of a step (turn order, springs, repulsion within the
// neighbour block, gravity, drag, walls, floor friction, integration), with
// its own data structures and a brute-force neighbour search. The two must
// follow the same trajectory for hundreds of steps: nodes falling onto the
// floor, bouncing, sliding to rest, pushing each other, one hitting a wall.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/RunContext.h"
#include "support/ExpectedDraws.h"
#include "support/WorldFixture.h"

namespace qm::test {
namespace {

using V = std::array<float, 3>;

float Length(const V& v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }
V Scaled(const V& v, float s) { return {v[0] * s, v[1] * s, v[2] * s}; }
V Unit(const V& v) {
    float l = Length(v);
    return l == 0.0f ? V{0.0f, 0.0f, 0.0f} : V{v[0] / l, v[1] / l, v[2] / l};
}
void Add(V& a, const V& b) {
    for (int i = 0; i < 3; ++i) a[i] += b[i];
}
void Sub(V& a, const V& b) {
    for (int i = 0; i < 3; ++i) a[i] -= b[i];
}
V Minus(const V& a, const V& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
void Limit(V& v, float most) {
    if (Length(v) > most) v = Scaled(Unit(v), most);
}

struct RefNode {
    V p{}, v{}, f{};
    double edgeLength = 3.0;
    float dynFriction = 0.55f;
    float frictionDiff = 0.7f;
};

class ReferenceWorld {
  public:
    std::vector<RefNode> nodes;           // index = id order
    std::set<std::pair<int, int>> links;  // by index, smaller first
    int sideWallHits = 0;
    explicit ReferenceWorld(unsigned seed) : draws(seed) {}

    void Step() {
        for (const auto& [a, b] : links) Spring(nodes[Idx(a)], nodes[Idx(b)]);
        std::vector<int> order(nodes.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
        draws.Shuffle(order);
        for (int i : order) {
            RefNode& n = nodes[Idx(i)];
            for (std::size_t j = 0; j < nodes.size(); ++j) {
                if (static_cast<int>(j) == i || Linked(i, static_cast<int>(j)) || !Near(n, nodes[j]))
                    continue;
                V d = Minus(nodes[j].p, n.p);
                float l = Length(d);
                if (l == 0.0f) continue;
                V push = Scaled(Unit(d), static_cast<float>(0.05 / l));
                Add(nodes[j].f, push);
                Sub(n.f, push);
            }
            n.f[1] += -0.01f;
            Add(n.f, Scaled(n.v, -0.03f));
            Walls(n);
            Limit(n.f, 10.0f);
            Add(n.v, n.f);
            Limit(n.v, 20.0f);
            n.f = {0.0f, 0.0f, 0.0f};
            Add(n.p, n.v);
        }
        draws.Skip(static_cast<int>(nodes.size()));  // the order drawn after the loop
    }

  private:
    static std::size_t Idx(int i) { return static_cast<std::size_t>(i); }
    bool Linked(int a, int b) const { return links.count({std::min(a, b), std::max(a, b)}) > 0; }

    static int Cell(float p, int half, int cells) {
        int c = static_cast<int>((p + static_cast<float>(half)) * 0.2);
        return cells == 10 ? std::min(std::max(c, 0), 9) : c;
    }
    static bool Near(const RefNode& a, const RefNode& b) {
        return std::abs(Cell(a.p[0], 500, 200) - Cell(b.p[0], 500, 200)) <= 1 &&
               std::abs(Cell(a.p[1], 25, 10) - Cell(b.p[1], 25, 10)) <= 1 &&
               std::abs(Cell(a.p[2], 500, 200) - Cell(b.p[2], 500, 200)) <= 1;
    }

    static void Spring(RefNode& a, RefNode& b) {
        V d = Minus(b.p, a.p);
        float l = Length(d);
        if (l == 0.0f) return;
        double rest = (a.edgeLength + b.edgeLength) * 0.5;
        V pull = Scaled(Unit(d), static_cast<float>((l - rest) * 0.02));
        Add(a.f, pull);
        Sub(b.f, pull);
    }

    static float Bounce(float v) {
        float r = -0.8f * v;
        return std::fabs(r) > 3.0f * 0.01f ? r : 0.0f;
    }

    void Walls(RefNode& n) {
        Limit(n.f, 10.0f);
        Limit(n.v, 20.0f);
        if (float next = n.p[1] + n.v[1] + n.f[1]; next <= -25.0f || next >= 24.0f) {
            n.v[1] = Bounce(n.v[1]);
            if (n.p[1] < 0.0f) {
                n.p[1] = -25.0f;
                V normal{0.0f, n.f[1], 0.0f};
                V tangent{n.f[0], 0.0f, n.f[2]};
                if (-n.f[1] > 0.0f) {
                    V w{-n.v[0], 0.0f, -n.v[2]};
                    if (Length(w) > 0.0f) {
                        V friction = Scaled(Unit(w), n.dynFriction * Length(normal));
                        n.f[1] += -n.f[1];
                        Add(n.f, friction);
                    } else {
                        float stat = std::min(n.dynFriction + n.frictionDiff, 2.0f);
                        if (stat * Length(normal) > Length(tangent)) Sub(n.f, tangent);
                    }
                }
            } else {
                n.p[1] = 24.0f;
            }
        }
        for (int axis : {0, 2}) {
            float next = n.p[axis] + n.v[axis] + n.f[axis];
            if (next <= -500.0f || next >= 499.0f) {
                ++sideWallHits;
                n.f[axis] = 0.0f;
                n.v[axis] = Bounce(n.v[axis]);
                n.p[axis] = n.p[axis] > 0.0f ? 499.0f : -500.0f;
            }
        }
    }

    ExpectedDraws draws;
};

class ReferenceWorldTest : public WorldFixture {};

TEST_F(ReferenceWorldTest, TheEngineFollowsTheReferenceForHundredsOfSteps) {
    // Two linked chains and three loose nodes near the east wall, thrown about.
    struct Start {
        V p, v;
        double edgeLength;
        float dynFriction;
    };
    const std::vector<Start> starts{
        {{490.0f, 5.0f, 0.0f}, {0.8f, 0.3f, 0.1f}, 3.0, 0.55f},
        {{494.0f, 6.0f, 1.0f}, {0.5f, 0.0f, -0.2f}, 4.0, 0.3f},
        {{492.0f, 9.0f, -3.0f}, {1.2f, -0.5f, 0.0f}, 5.0, 0.9f},
        {{486.0f, 3.0f, 2.0f}, {0.0f, 0.0f, 0.6f}, 3.0, 0.55f},
        {{488.0f, 7.0f, 4.5f}, {0.3f, 1.0f, 0.0f}, 6.0, 0.2f},
        {{495.5f, -20.0f, 0.5f}, {2.0f, -1.0f, 0.0f}, 3.0, 0.55f},
        {{491.0f, -24.0f, -1.0f}, {0.0f, 0.0f, 0.0f}, 3.0, 0.55f},
        {{489.5f, 0.0f, 6.0f}, {-0.4f, 2.5f, 0.3f}, 3.0, 1.0f},
    };
    const std::vector<std::pair<int, int>> linked{{0, 1}, {1, 2}, {0, 2}, {3, 4}};
    constexpr unsigned kSeed = 2468;

    ReferenceWorld reference(kSeed);
    std::vector<TNode*> engine;
    for (const Start& s : starts) {
        TNode* node = Place(s.p[0], s.p[1], s.p[2]);
        node->SetVel(s.v[0], s.v[1], s.v[2]);
        node->edgeLength = s.edgeLength;
        node->dynFriction = s.dynFriction;
        engine.push_back(node);
        RefNode r;
        r.p = s.p;
        r.v = s.v;
        r.edgeLength = s.edgeLength;
        r.dynFriction = s.dynFriction;
        reference.nodes.push_back(r);
    }
    for (const auto& [a, b] : linked) {
        world.LinkNode(engine[static_cast<std::size_t>(a)], engine[static_cast<std::size_t>(b)]);
        reference.links.insert({a, b});
    }

    context.random.Seed(kSeed);
    bool touchedFloor = false;
    double largest = 0.0;
    for (int step = 1; step <= 400; ++step) {
        world.Action();
        reference.Step();
        for (std::size_t i = 0; i < engine.size(); ++i) {
            const RefNode& r = reference.nodes[i];
            for (int axis = 0; axis < 3; ++axis) {
                const float got = axis == 0   ? engine[i]->pos.x
                                  : axis == 1 ? engine[i]->pos.y
                                              : engine[i]->pos.z;
                const double off = std::fabs(got - r.p[static_cast<std::size_t>(axis)]);
                largest = std::max(largest, off);
                ASSERT_LT(off, 1e-3) << "node " << i << ", axis " << axis << ", step " << step;
            }
            touchedFloor = touchedFloor || engine[i]->onGround;
        }
    }
    RecordProperty("largest_difference", std::to_string(largest));
    EXPECT_TRUE(touchedFloor);
    EXPECT_GT(reference.sideWallHits, 0);
    // By now everything lies on the floor, nearly at rest.
    for (TNode* node : engine) {
        EXPECT_LT(node->pos.y, -24.0f);
        EXPECT_LT(std::fabs(node->vel.x) + std::fabs(node->vel.z), 0.05f);
    }
}

}  // namespace
}  // namespace qm::test
