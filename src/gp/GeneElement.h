#pragma once

#include <cstdint>

namespace qm {

// One element of a gene in prefix order: a primitive named by its arity class
// (kind 0..3) and its index within that class, or a constant (kind 0, index 0).
struct GeneElement {
    std::int32_t kind = 0;
    std::int32_t index = 0;
    double value = 0.0;  // meaningful only for a constant

    bool IsConstant() const { return kind == 0 && index == 0; }
};

}  // namespace qm
