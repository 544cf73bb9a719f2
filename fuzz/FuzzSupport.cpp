#include "FuzzSupport.h"

#include <sys/time.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "Support/Iso8601.h"

namespace quillfen::fuzz {

namespace {

std::filesystem::path makeScratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillfen-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) fail("cannot make a scratch folder");
    return pattern;
}

void removeScratch() {
    std::error_code ec;
    std::filesystem::remove_all(scratch(), ec);
}

}  // namespace

TimePoint fixedNow() {
    static const TimePoint now = *Iso8601::parse("2026-01-05T14:03:00Z");
    return now;
}

Clock fixedClock() {
    return [] { return fixedNow(); };
}

const std::filesystem::path& scratch() {
    static const std::filesystem::path path = makeScratch();
    return path;
}

std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

std::vector<std::string_view> pieces(std::string_view text, std::size_t maxPieces) {
    std::vector<std::string_view> out;
    while (out.size() + 1 < maxPieces) {
        auto cut = text.find('\x1e');
        if (cut == std::string_view::npos) break;
        out.push_back(text.substr(0, cut));
        text.remove_prefix(cut + 1);
    }
    out.push_back(text);
    return out;
}

void writeFile(const std::filesystem::path& path, std::string_view contents, TimePoint modified) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        if (!out) fail("cannot write " + path.string());
    }
    const auto micros =
        std::chrono::duration_cast<std::chrono::microseconds>(modified.time_since_epoch()).count();
    struct timeval times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(micros / 1'000'000);
    times[0].tv_usec = times[1].tv_usec = static_cast<suseconds_t>(micros % 1'000'000);
    if (::utimes(path.c_str(), times) != 0) fail("cannot date " + path.string());
}

void removeAll(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void fail(std::string_view what) {
    std::fprintf(stderr, "fuzz property failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

}  // namespace quillfen::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    using namespace quillfen::fuzz;
    const std::filesystem::path home = scratch() / "home";
    std::error_code ec;
    std::filesystem::create_directories(home, ec);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / ".local" / "share").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    std::atexit(removeScratch);
    return 0;
}
