#include "BackgroundWork.h"

#include "platform/CpuAffinity.h"

#include "Support/SystemLog.h"
#include "Support/Threads.h"

namespace quillfen {

BackgroundWork::BackgroundWork(QObject* parent) : QObject(parent) {}

BackgroundWork::~BackgroundWork() {
    stopAll(std::chrono::milliseconds(0));
    {
        std::lock_guard lock(state_->mutex);
        state_->alive = false;
    }
    // Joining here could hang the UI thread on a job stuck in the network; such a job keeps
    // only its own shared state and ends with the process.
    for (auto& [id, thread] : threads_)
        if (thread.joinable()) thread.detach();
}

bool BackgroundWork::start(std::string_view job, std::function<void(std::stop_token)> work,
                           std::function<void()> deliver) {
    if (stopped_) return false;
    const std::uint64_t id = nextId_++;
    {
        std::lock_guard lock(state_->mutex);
        state_->finished[id] = false;
    }
    QPointer<BackgroundWork> self(this);
    std::jthread thread = Threads::startOrSkip(
        job, [state = state_, target = this, self, id, work = std::move(work),
              deliver = std::move(deliver)](std::stop_token stop) mutable {
            CpuAffinity::releaseCallingThread();
            try {
                work(stop);
            } catch (const std::exception& e) {
                SystemLog::error("background", std::string("a background job failed: ") + e.what());
            }
            std::lock_guard lock(state->mutex);
            state->finished[id] = true;
            state->ended.notify_all();
            // Posted under the lock: the object cannot be destroyed between the test and the
            // post, and Qt drops events posted to an object that is deleted before they run.
            if (!state->alive) return;
            QMetaObject::invokeMethod(
                target,
                [self, id, deliver = std::move(deliver)] {
                    if (self) self->finish(id, deliver);
                },
                Qt::QueuedConnection);
        });
    if (!thread.joinable()) {
        std::lock_guard lock(state_->mutex);
        state_->finished.erase(id);
        return false;
    }
    threads_[id] = std::move(thread);
    return true;
}

void BackgroundWork::finish(std::uint64_t id, const std::function<void()>& deliver) {
    auto it = threads_.find(id);
    if (it == threads_.end()) return;
    if (it->second.joinable()) it->second.join();
    threads_.erase(it);
    {
        std::lock_guard lock(state_->mutex);
        state_->finished.erase(id);
    }
    if (!stopped_) deliver();
}

bool BackgroundWork::stopAll(std::chrono::milliseconds grace) {
    stopped_ = true;
    for (auto& [id, thread] : threads_)
        thread.request_stop();
    std::unique_lock lock(state_->mutex);
    return state_->ended.wait_for(lock, grace, [&] {
        for (const auto& [id, done] : state_->finished)
            if (!done) return false;
        return true;
    });
}

std::size_t BackgroundWork::running() const {
    std::lock_guard lock(state_->mutex);
    std::size_t n = 0;
    for (const auto& [id, done] : state_->finished)
        if (!done) ++n;
    return n;
}

}  // namespace quillfen
