#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Support/SystemLog.h"

namespace quillfen::test {

// What is logged to the system log while the object lives, as "category: message" lines.
class CapturedSystemLog {
public:
    CapturedSystemLog() {
        SystemLog::setListener([this](SystemLog::Level, std::string_view category, std::string_view message) {
            std::lock_guard lock(mutex_);
            lines_.push_back(std::string(category) + ": " + std::string(message));
        });
    }
    ~CapturedSystemLog() { SystemLog::setListener({}); }
    CapturedSystemLog(const CapturedSystemLog&) = delete;
    CapturedSystemLog& operator=(const CapturedSystemLog&) = delete;

    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace quillfen::test
