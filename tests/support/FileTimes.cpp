#include "support/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <stdexcept>

#include "support/TestEnvironment.h"

namespace quillfen::test {

void setModified(const std::filesystem::path& path, TimePoint when) {
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    times[0].tv_nsec = static_cast<long>(ns % 1'000'000'000);
    times[1] = times[0];
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
        throw std::runtime_error("cannot set the time of " + path.string());
    }
}

void writeFileModified(const std::filesystem::path& path, std::string_view contents, TimePoint when) {
    writeFile(path, contents);
    setModified(path, when);
}

}  // namespace quillfen::test
