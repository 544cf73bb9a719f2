#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Log/LogStore.h"
#include "Support/Clock.h"

// What every fuzz target shares. Each target binary starts with TZ fixed to Europe/Berlin and
// HOME and the XDG folders moved into a scratch folder of its own, so nothing a target does
// reaches the real home; the scratch folder goes when the process exits.
namespace quillfen::fuzz {

// 2026-01-05T14:03:00Z, the instant the seeds are written around.
TimePoint fixedNow();
Clock fixedClock();

// The process's scratch folder (the fake HOME lives below it).
const std::filesystem::path& scratch();

// The fuzzer's bytes as text.
std::string_view asText(const std::uint8_t* data, std::size_t size);

// Several files' worth of input in one: the pieces between ASCII record separators (0x1E),
// at most `maxPieces` (the last one keeps any further separators).
std::vector<std::string_view> pieces(std::string_view text, std::size_t maxPieces);

// Writes a whole file, creating its folders, and dates it `modified`; aborts when it cannot,
// since a target that cannot lay out its input tests nothing.
void writeFile(const std::filesystem::path& path, std::string_view contents, TimePoint modified);

// Removes a folder and everything in it; a folder that is not there is fine.
void removeAll(const std::filesystem::path& path);

// A store in memory: what the files on disk would hold, without the disk.
class MemoryLogStore final : public LogStore {
public:
    explicit MemoryLogStore(std::optional<std::string> bytes) : bytes_(std::move(bytes)) {}

    std::optional<std::string> read() const override { return bytes_; }
    [[nodiscard]] std::error_code write(std::string_view bytes) override {
        if (keepAside_) {
            (void)moveAside();
            keepAside_ = false;
        }
        bytes_ = std::string(bytes);
        ++writes_;
        return {};
    }
    [[nodiscard]] std::error_code moveAside() override {
        aside_ = std::move(bytes_);
        bytes_.reset();
        return {};
    }
    void markUndecodable() override { keepAside_ = true; }

    const std::optional<std::string>& bytes() const { return bytes_; }
    const std::optional<std::string>& aside() const { return aside_; }
    int writes() const { return writes_; }

private:
    std::optional<std::string> bytes_;
    std::optional<std::string> aside_;
    bool keepAside_ = false;
    int writes_ = 0;
};

// Stops the target with a message when a property of the reader does not hold: libFuzzer
// reports the abort as a finding with the input that caused it.
[[noreturn]] void fail(std::string_view what);

}  // namespace quillfen::fuzz
