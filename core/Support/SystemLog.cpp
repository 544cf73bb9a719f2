#include "Support/SystemLog.h"

#include <syslog.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include "Support/Paths.h"
#include "Support/Text.h"

namespace quillfen::SystemLog {

namespace {

std::mutex& listenerMutex() {
    static std::mutex m;
    return m;
}

Listener& listener() {
    static Listener l;
    return l;
}

int priorityOf(Level level) {
    switch (level) {
        case Level::info:
            return LOG_INFO;
        case Level::notice:
            return LOG_NOTICE;
        case Level::error:
            return LOG_ERR;
    }
    return LOG_INFO;
}

void write(Level level, std::string_view category, std::string_view message) {
    static std::once_flag opened;
    // With QUILLFEN_SYSTEM_LOG_STDERR set every line also goes to standard error: for a developer
    // in a terminal, and for a test of the whole application, which cannot read the system's log
    // (a machine may have no log daemon at all).
    std::call_once(opened, [] {
        const bool copyToStderr = std::getenv("QUILLFEN_SYSTEM_LOG_STDERR") != nullptr;
        openlog(Paths::kAppId, LOG_PID | (copyToStderr ? LOG_PERROR : 0), LOG_USER);
    });
    // Messages name files, and a name someone else chose must not end or rewrite the line.
    const std::string shown = Text::controlsEscaped(message);
    std::string line;
    line.reserve(category.size() + shown.size() + 3);
    line.append("[").append(category).append("] ").append(shown);
    syslog(priorityOf(level), "%s", line.c_str());
    std::lock_guard lock(listenerMutex());
    if (listener()) listener()(level, category, shown);
}

}  // namespace

void info(std::string_view category, std::string_view message) {
    write(Level::info, category, message);
}

void notice(std::string_view category, std::string_view message) {
    write(Level::notice, category, message);
}

void error(std::string_view category, std::string_view message) {
    write(Level::error, category, message);
}

void noticeOnce(std::string_view category, std::string_view key, std::string_view message) {
    static std::mutex mutex;
    static std::set<std::string, std::less<>> told;
    {
        std::lock_guard lock(mutex);
        std::string whole = std::string(category) + '\n' + std::string(key);
        if (!told.insert(std::move(whole)).second) return;
    }
    write(Level::notice, category, message);
}

void setListener(Listener l) {
    std::lock_guard lock(listenerMutex());
    listener() = std::move(l);
}

}  // namespace quillfen::SystemLog
