#include "shell/ReplayCursor.h"

namespace qm {

std::size_t ReplayCursor::Clamp(std::size_t index) const {
    return count_ > 0 && index >= count_ ? count_ - 1 : index;
}

void ReplayCursor::Advance() {
    if (!paused_) index_ = Clamp(index_ + static_cast<std::size_t>(speed_));
}

void ReplayCursor::Faster() {
    if (speed_ < kMaxSpeed) ++speed_;
}

void ReplayCursor::Slower() {
    if (speed_ > 1) --speed_;
}

void ReplayCursor::StepBack() {
    paused_ = true;
    if (index_ > 0) --index_;
}

void ReplayCursor::StepForward() {
    paused_ = true;
    index_ = Clamp(index_ + 1);
}

void ReplayCursor::EndsAt(std::size_t count) {
    count_ = count > 0 ? count : 1;
    index_ = Clamp(index_);
}

}  // namespace qm
