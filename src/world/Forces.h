#pragma once
// The forces of a step. A step is the time unit and every node has unit mass,
// so a force is the change of velocity it makes in one step (world units per step).

namespace qm {

// A link pulls (or pushes) by kSpringStiffness x (length - rest length), the
// rest length being half the sum of the two nodes' link lengths.
inline constexpr double kSpringStiffness = 0.02;
inline constexpr double kRestLengthFactor = 0.5;

// Unlinked neighbours push apart by kRepulsion / distance.
inline constexpr double kRepulsion = 0.05;

// Down, on every node in every step.
inline constexpr float kGravity = 0.01f;

// Against the velocity: kDrag x velocity.
inline constexpr float kDrag = 0.03f;

}  // namespace qm
