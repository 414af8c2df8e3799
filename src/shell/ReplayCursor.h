#pragma once
// Where a replay stands in its trace and how it moves: the recorded step on
// show, whether it plays, and how many recorded steps a frame moves on. It
// knows the trace's length only once the end has been reached (a trace is
// read as it plays), so moves past the end are pulled back by EndsAt.

#include <cstddef>

namespace qm {

class ReplayCursor {
  public:
    // Recorded steps per frame: 1 to kMaxSpeed.
    static constexpr int kMaxSpeed = 64;

    // Once a frame: moves on by the speed unless paused. At the end of a
    // trace whose length is known, it stays on the last step.
    void Advance();
    void TogglePause() { paused_ = !paused_; }
    void Faster();
    void Slower();
    // One recorded step back or forward, and the playback pauses so that the
    // step stays on show. Never before the first step or past the known last.
    void StepBack();
    void StepForward();
    // Back to the first recorded step; playing or paused as before.
    void Home() { index_ = 0; }
    // To the `index`-th recorded step (the last known one when beyond it).
    void MoveTo(std::size_t index) { index_ = Clamp(index); }
    // The trace holds `count` whole steps (at least one): the position moves
    // back onto the last of them if it was beyond.
    void EndsAt(std::size_t count);

    std::size_t Index() const { return index_; }
    bool Paused() const { return paused_; }
    int Speed() const { return speed_; }
    // The number of whole steps, once the end has been reached; 0 before.
    std::size_t KnownCount() const { return count_; }

  private:
    std::size_t Clamp(std::size_t index) const;

    std::size_t index_ = 0;
    std::size_t count_ = 0;  // 0 while unknown
    int speed_ = 1;
    bool paused_ = false;
};

}  // namespace qm
