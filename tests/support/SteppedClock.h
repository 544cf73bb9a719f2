#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "Support/Clock.h"
#include "support/TestEnvironment.h"

#ifndef QUILLFEN_FAKETIME
#define QUILLFEN_FAKETIME ""
#endif

namespace quillfen::test {

// The application's clock, through libfaketime: it stands still at the time the test set and
// moves on only when the test moves it, a minute at a time, so that a morning's work passes in
// seconds, every tick sees exactly a minute, and no slowness of the machine reaches the
// application as time. Where libfaketime is not installed, `available()` says so.
class SteppedClock {
public:
    SteppedClock(const std::filesystem::path& file, TimePoint start)
        : file_(file), now_(std::chrono::time_point_cast<std::chrono::seconds>(start)) {
        write();
    }

    static bool available() { return *QUILLFEN_FAKETIME != '\0'; }
    TimePoint now() const { return now_; }
    void advance(std::chrono::seconds by) {
        now_ += by;
        write();
    }

    std::map<std::string, std::string> environment() const {
        // A sanitizer's runtime wants to come first; this preload comes before it, harmlessly.
        const char* asan = std::getenv("ASAN_OPTIONS");
        return {{"LD_PRELOAD", QUILLFEN_FAKETIME},
                {"FAKETIME_TIMESTAMP_FILE", file_.string()},
                {"FAKETIME_FMT", "%s"},
                {"FAKETIME_NO_CACHE", "1"},
                {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}};
    }

private:
    // The application reads the file at every look at the clock: it is renamed into place
    // whole, never seen empty or half written.
    void write() const {
        const auto next = file_.string() + ".next";
        writeFile(next, std::to_string(std::chrono::system_clock::to_time_t(now_)) + "\n");
        std::filesystem::rename(next, file_);
    }

    std::filesystem::path file_;
    std::chrono::sys_seconds now_;
};

}  // namespace quillfen::test
