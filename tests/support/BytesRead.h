#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace quillfen::test {

// What a reading took through read calls, by the kernel's count, and what it answered.
struct BytesRead {
    std::uint64_t bytes = 0;
    int answer = 0;
};

// Runs `reading` in a child process: once to settle what a first call loads (a time zone, say),
// then again, counted. A reading that takes more than `ceiling` bytes in all is stopped there, so
// one that would never end fails at once instead of filling the memory; nothing is given then,
// nor when the child died.
std::optional<BytesRead> bytesReadBy(const std::function<int()>& reading, std::uint64_t ceiling = 16u << 20);

}  // namespace quillfen::test
