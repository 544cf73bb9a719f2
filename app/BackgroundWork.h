#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string_view>
#include <thread>

namespace quillfen {

// Work that must stay off the UI thread (files, child processes, the network, the engine's
// tick). Each job runs on a thread of its own and hands its result back to this object's
// thread with a queued call, so results are handled there in the order the jobs finish. A
// result that arrives after this object is gone is dropped.
//
// Jobs take a stop token: at quit they are asked to stop, given a bounded time, and a job
// still running after that is left to the process's end.
//
// A machine short of threads (the user's process limit reached) refuses a job its thread: the
// job is skipped, which its caller learns, and the first refusal of each kind of job is logged.
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWork(QObject* parent = nullptr);
    ~BackgroundWork() override;

    // `job` names the kind of work for the log ("the tick", "the sky check"). False when no
    // thread could be started: nothing runs and `done` is never called, so the caller clears
    // what it marked as under way and the work waits for its next occasion.
    template <typename T>
    bool run(std::string_view job, std::function<T(std::stop_token)> work, std::function<void(T)> done) {
        auto result = std::make_shared<std::optional<T>>();
        return start(
            job, [work = std::move(work), result](std::stop_token stop) { result->emplace(work(stop)); },
            [done = std::move(done), result] {
                if (result->has_value() && done) done(std::move(**result));
            });
    }

    // Asks every job to stop, and waits until all have ended or the time is up. Results
    // still queued are not delivered afterwards. Says whether every job ended.
    bool stopAll(std::chrono::milliseconds grace);

    std::size_t running() const;

private:
    // Shared with the jobs' threads, which may outlive this object.
    struct State {
        std::mutex mutex;
        std::condition_variable ended;
        std::map<std::uint64_t, bool> finished;
        bool alive = true;
    };

    bool start(std::string_view job, std::function<void(std::stop_token)> work, std::function<void()> deliver);
    void finish(std::uint64_t id, const std::function<void()>& deliver);

    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::map<std::uint64_t, std::jthread> threads_;
    std::uint64_t nextId_ = 1;
    bool stopped_ = false;
};

}  // namespace quillfen
