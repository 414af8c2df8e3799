#include "api/RunMany.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace qm {

int CoreCount() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

void RunMany(std::size_t count, int workers, const std::function<void(std::size_t)>& work) {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex guard;
    std::exception_ptr failure;
    const auto loop = [&] {
        for (std::size_t i = next++; i < count && !failed; i = next++) {
            try {
                work(i);
            } catch (...) {
                std::lock_guard lock(guard);
                if (!failed.exchange(true)) failure = std::current_exception();
                return;
            }
        }
    };
    const std::size_t threads =
        std::min<std::size_t>(static_cast<std::size_t>(workers > 0 ? workers : CoreCount()), count);
    {
        std::vector<std::jthread> others;
        for (std::size_t t = 1; t < threads; ++t) others.emplace_back(loop);
        loop();
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace qm
