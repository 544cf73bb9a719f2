#pragma once

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

// Runs `work` on its own thread against a deadline. The first to finish decides: the work's
// value, or nothing when the time ran out. On a time-out the work is asked to stop through its
// token and is then waited for, so it must honour the token promptly; nothing it touches
// outlives the call. An exception from the work is rethrown to the caller.
template <typename T>
std::optional<T> raceAgainstTimeout(double seconds, const std::function<T(std::stop_token)>& work) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        std::optional<T> value;
        std::exception_ptr error;
        bool finished = false;
    };
    auto shared = std::make_shared<Shared>();
    std::jthread worker([shared, &work](std::stop_token stop) {
        std::optional<T> value;
        std::exception_ptr error;
        try {
            value.emplace(work(stop));
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard lock(shared->mutex);
        shared->value = std::move(value);
        shared->error = error;
        shared->finished = true;
        shared->done.notify_all();
    });

    const double bounded = std::isfinite(seconds) ? std::max(0.0, std::min(seconds, 1e9)) : 1e9;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(bounded));
    bool finishedInTime;
    {
        std::unique_lock lock(shared->mutex);
        finishedInTime = shared->done.wait_until(lock, deadline, [&] { return shared->finished; });
    }
    if (!finishedInTime) {
        worker.request_stop();
        worker.join();
        return std::nullopt;
    }
    worker.join();
    if (shared->error) std::rethrow_exception(shared->error);
    return std::move(shared->value);
}

}  // namespace quillfen
