#include "Support/Threads.h"

#include <mutex>
#include <set>
#include <string>
#include <system_error>

#include "Support/SystemLog.h"

namespace quillfen::Threads {

namespace {

// Never destroyed: a refusal may be logged while the process exits.
struct Refused {
    std::mutex mutex;
    std::set<std::string, std::less<>> works;
};

Refused& refused() {
    static auto* r = new Refused;
    return *r;
}

}  // namespace

std::jthread startOrSkip(std::string_view work, std::function<void(std::stop_token)> body) {
    try {
        return std::jthread(std::move(body));
    } catch (const std::system_error& error) {
        auto& r = refused();
        std::unique_lock lock(r.mutex);
        if (!r.works.emplace(work).second) return {};
        lock.unlock();
        SystemLog::error("threads", "no thread for " + std::string(work) + " (" + error.what() +
                                        "): skipped until its next occasion");
        return {};
    }
}

}  // namespace quillfen::Threads
