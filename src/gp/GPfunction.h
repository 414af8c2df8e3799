#pragma once
// The abstract primitive. Each of the 42 primitives is one derived class with
// a single instance owned by the GPmanager registry; it receives its arguments
// as unevaluated views and decides which of them to evaluate, and in which order.

#include <cstdint>
#include <string>

namespace qm {

class SubUnit;

class GPfunction {
  public:
    GPfunction(std::int32_t kind, std::int32_t index, std::string name)
        : kind(kind), index(index), name(std::move(name)) {}
    virtual ~GPfunction() = default;
    GPfunction(const GPfunction&) = delete;
    GPfunction& operator=(const GPfunction&) = delete;

    virtual double Eval0(SubUnit& self) = 0;
    virtual double Eval1(SubUnit& a) = 0;
    virtual double Eval2(SubUnit& a, SubUnit& b) = 0;
    virtual double Eval3(SubUnit& a, SubUnit& b, SubUnit& c) = 0;

    const std::string& Name() const { return name; }

    const std::int32_t kind;
    const std::int32_t index;

  private:
    const std::string name;
};

}  // namespace qm
