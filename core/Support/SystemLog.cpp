#include "Support/SystemLog.h"

#include <syslog.h>

#include <mutex>
#include <string>

#include "Support/Paths.h"

namespace quillfen::SystemLog {

namespace {

void write(int priority, std::string_view category, std::string_view message) {
    static std::once_flag opened;
    std::call_once(opened, [] { openlog(Paths::kAppId, LOG_PID, LOG_USER); });
    std::string line;
    line.reserve(category.size() + message.size() + 3);
    line.append("[").append(category).append("] ").append(message);
    syslog(priority, "%s", line.c_str());
}

}  // namespace

void info(std::string_view category, std::string_view message) {
    write(LOG_INFO, category, message);
}

void error(std::string_view category, std::string_view message) {
    write(LOG_ERR, category, message);
}

}  // namespace quillfen::SystemLog
