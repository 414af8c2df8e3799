#pragma once
// The numbers of the world's step that a researcher may vary: forces, limits
// of motion, the ranges a gene's actions map into, the goal's radius. The
// defaults are the world every stored run was made in. A step is the time
// unit and every node has unit mass, so a force is the change of velocity it
// makes in one step (world units per step). docs/physics.md gives each
// one's formula.
//
// The box and its grid stay fixed: the grid's cells are sized to the box,
// and checkpoints file nodes by those cells.

#include <string>

namespace qm {

struct Physics {
    // A link pulls (or pushes) by springStiffness x (length - rest length),
    // the rest length being restLengthFactor x the sum of the two nodes' link lengths.
    double springStiffness = 0.02;
    double restLengthFactor = 0.5;
    // Unlinked neighbours push apart by repulsion / distance.
    double repulsion = 0.05;
    // Down, on every node in every step.
    float gravity = 0.01f;
    // Against the velocity: drag x velocity.
    float drag = 0.03f;
    // The longest force and velocity a node takes, per step.
    float maxForce = 10.0f;
    float maxVelocity = 20.0f;
    // A bounce off a wall keeps this share of the speed into it; one slower
    // than 3 x gravity comes to rest.
    float restitution = 0.8f;
    // Along a link, slot i flows by diffusion x sqrt(rate a x rate b) x (difference).
    double diffusion = 0.01;
    // What the gene's link length maps into (world units).
    double linkLengthMin = 3.0;
    double linkLengthMax = 8.0;
    // Floor friction coefficients: the dynamic one and the difference the
    // gene sets map into these ranges; the static one is their sum, at most
    // staticFrictionMax. A new node's static friction is the middle of its range.
    float staticFrictionMin = 0.5f;
    float staticFrictionMax = 2.0f;
    float dynamicFrictionMin = 0.1f;
    float dynamicFrictionMax = 1.0f;
    float frictionDifferenceMin = 0.1f;
    float frictionDifferenceMax = 1.0f;
    // A node closer to the goal than this (world units) has reached it.
    float goalRadius = 2.0f;

    friend bool operator==(const Physics&, const Physics&) = default;
};

// Every constant in one list: its key in settings files and manifests, its
// member, and the closed range in which the step stays sound (a node never
// crosses the box's height in one step, no force reverses the velocity it
// acts on). Calls visit(key, member, lowest, highest) for each, in the order
// of docs/physics.md.
template <class Visit>
void ForEachPhysicsKey(Visit&& visit) {
    visit("spring_stiffness", &Physics::springStiffness, 0.0, 0.5);
    visit("rest_length_factor", &Physics::restLengthFactor, 0.0, 2.0);
    visit("repulsion", &Physics::repulsion, 0.0, 1.0);
    visit("gravity", &Physics::gravity, 0.0, 1.0);
    visit("drag", &Physics::drag, 0.0, 1.0);
    visit("max_force", &Physics::maxForce, 0.0, 24.0);
    visit("max_velocity", &Physics::maxVelocity, 0.0, 24.0);
    visit("restitution", &Physics::restitution, 0.0, 1.0);
    visit("diffusion", &Physics::diffusion, 0.0, 0.5);
    visit("link_length_min", &Physics::linkLengthMin, 0.5, 50.0);
    visit("link_length_max", &Physics::linkLengthMax, 0.5, 50.0);
    visit("static_friction_min", &Physics::staticFrictionMin, 0.0, 10.0);
    visit("static_friction_max", &Physics::staticFrictionMax, 0.0, 10.0);
    visit("dynamic_friction_min", &Physics::dynamicFrictionMin, 0.0, 10.0);
    visit("dynamic_friction_max", &Physics::dynamicFrictionMax, 0.0, 10.0);
    visit("friction_difference_min", &Physics::frictionDifferenceMin, 0.0, 10.0);
    visit("friction_difference_max", &Physics::frictionDifferenceMax, 0.0, 10.0);
    visit("goal_radius", &Physics::goalRadius, 0.0, 500.0);
}

// The world every run is made in unless set otherwise; immutable.
const Physics& DefaultPhysics();

// The shortest text that reads back as `value` ("0.01" for 0.01f).
template <class T>
std::string PhysicsValueText(T value);

// Empty when every constant is within its range and each range's minimum is
// at most its maximum; else what is wrong, naming the key(s).
std::string PhysicsFault(const Physics& physics);

}  // namespace qm
