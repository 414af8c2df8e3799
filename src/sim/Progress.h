#pragma once
// A one-line progress bar on a terminal: steps done, node count, steps per second.

#include <chrono>
#include <cstdio>

namespace qm::sim {

class Progress {
  public:
    Progress(std::FILE* out, long long total, bool enabled);
    void Update(long long done, int nodes);
    void Finish();

  private:
    std::FILE* out;
    long long total;
    bool enabled;
    bool drawn = false;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point lastDraw;
};

}  // namespace qm::sim
