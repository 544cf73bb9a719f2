#pragma once

#include <string>
#include <vector>

#include "Support/SystemLog.h"

namespace quillfen::test {

// What is logged to the system log while the object lives, as "category: message". The system
// log calls its listener one line at a time.
struct CapturedSystemLog {
    std::vector<std::string> lines;
    CapturedSystemLog() {
        SystemLog::setListener([this](SystemLog::Level, std::string_view category, std::string_view message) {
            lines.push_back(std::string(category) + ": " + std::string(message));
        });
    }
    ~CapturedSystemLog() { SystemLog::setListener({}); }
};

}  // namespace quillfen::test
