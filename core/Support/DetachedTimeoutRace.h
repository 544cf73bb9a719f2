#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>

namespace quillfen {

// Like raceAgainstTimeout, but the caller is answered at the deadline whatever the work does: on
// a time-out the work is asked to stop through its token and left to end on its own thread, and
// its late value is dropped. So `work` must own everything it touches (copies, shared pointers):
// it may outlive the call and the caller's objects. An exception from work that finishes in time
// is rethrown; one from late work is dropped with its value. A time-out that is not finite waits
// for the work as good as forever; a negative one is no time at all. Throws std::system_error
// when no thread can be started.
template <typename T>
std::optional<T> raceLeavingLateWork(double seconds, std::function<T(std::stop_token)> work) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::stop_source stop;
        std::optional<T> value;
        std::exception_ptr error;
        bool finished = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, work = std::move(work)] {
        std::optional<T> value;
        std::exception_ptr error;
        try {
            value.emplace(work(shared->stop.get_token()));
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(shared->mutex);
        shared->value = std::move(value);
        shared->error = error;
        shared->finished = true;
        shared->done.notify_all();
    }).detach();

    const double bounded = std::isfinite(seconds) ? std::max(0.0, std::min(seconds, 1e9)) : 1e9;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(bounded));
    std::unique_lock lock(shared->mutex);
    if (!shared->done.wait_until(lock, deadline, [&] { return shared->finished; })) {
        // Stop callbacks run here, and one may take its time ending a child: not under the lock.
        lock.unlock();
        shared->stop.request_stop();
        return std::nullopt;
    }
    if (shared->error) std::rethrow_exception(shared->error);
    return std::move(shared->value);
}

}  // namespace quillfen
