#pragma once

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "Log/LogStore.h"
#include "Support/Clock.h"

namespace quillfen {

// A store in one file. Writes replace the file atomically (readers see the old or the new
// content, never half of it) and leave it readable by its owner only. A file larger than the
// store's cap is not read at all; it and a file its owner could not decode are kept aside under
// a name of their own before anything is written in their place.
class FileLogStore final : public LogStore {
public:
    // The small stores (a budget, a promise, a heartbeat, ...) hold a few kilobytes.
    static constexpr std::size_t kSmallStoreBytes = 1 << 20;
    // Two weeks of a sample a minute come to about 3.2 MB.
    static constexpr std::size_t kSignalLogBytes = 16 << 20;
    // Ten thousand verdicts, each with the line shown beside the face, come to about 3 MB.
    static constexpr std::size_t kFaceFeedbackBytes = 6 << 20;

    // Uses the path as it is; creates nothing. `now` dates the copies kept aside.
    explicit FileLogStore(std::filesystem::path path, std::size_t maxReadBytes = kSmallStoreBytes,
                          Clock now = systemClock());

    // The application's own data folder, made if needed and kept to its owner; when it cannot be
    // had, the fallback below, but only when that one is ours alone. Nothing when neither is: the
    // stores then live in memory for the run. The log says once where the records go.
    static std::optional<std::filesystem::path> logDirectory();
    // $XDG_RUNTIME_DIR/org.quillfen.Quillfen, or org.quillfen.Quillfen-<uid> under the temporary
    // directory when the session has no runtime folder.
    static std::filesystem::path fallbackDirectory();
    // The family folder (~/.ostrel), made if needed and kept to its owner; nothing when it cannot
    // be had, and the log says once that the journals get nothing for the run.
    static std::optional<std::filesystem::path> familyDirectory();

    // The store of `name` in `folder`; with no folder, a store in memory for the run.
    static std::shared_ptr<LogStore> in(const std::optional<std::filesystem::path>& folder,
                                        std::string_view name, std::size_t maxReadBytes = kSmallStoreBytes);

    const std::filesystem::path& path() const { return path_; }

    std::optional<std::string> read() const override;
    [[nodiscard]] std::error_code write(std::string_view bytes) override;
    // Each piece goes to the new file as it comes: nothing holds the whole text.
    [[nodiscard]] std::error_code writePieces(const Pieces& pieces) override;
    [[nodiscard]] std::error_code moveAside() override;
    void markUndecodable() override;

private:
    std::filesystem::path path_;
    std::size_t maxReadBytes_;
    Clock now_;
    // The file holds what could not be read or decoded; the next write keeps it aside first.
    mutable std::atomic<bool> keepAside_ = false;
    mutable std::atomic<bool> examined_ = false;
};

}  // namespace quillfen
