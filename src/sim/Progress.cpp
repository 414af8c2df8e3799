#include "sim/Progress.h"

namespace qm::sim {

Progress::Progress(std::FILE* out, long long total, bool enabled)
    : out(out), total(total), enabled(enabled), start(std::chrono::steady_clock::now()), lastDraw(start) {}

void Progress::Update(long long done, int nodes) {
    if (!enabled) return;
    auto now = std::chrono::steady_clock::now();
    if (done < total && now - lastDraw < std::chrono::milliseconds(100)) return;
    lastDraw = now;
    double seconds = std::chrono::duration<double>(now - start).count();
    double rate = seconds > 0.0 ? static_cast<double>(done) / seconds : 0.0;
    constexpr int kWidth = 30;
    int filled = total > 0 ? static_cast<int>(kWidth * done / total) : kWidth;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    std::fprintf(out, "\r[%s] %lld/%lld steps  %d nodes  %.0f steps/s ", bar, done, total, nodes, rate);
    std::fflush(out);
    drawn = true;
}

void Progress::Finish() {
    if (drawn) std::fputc('\n', out);
    drawn = false;
}

}  // namespace qm::sim
