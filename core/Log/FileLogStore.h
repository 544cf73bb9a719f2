#pragma once

#include <cstddef>
#include <filesystem>

#include "Log/LogStore.h"

namespace quillfen {

// A store in one file. Writes replace the file atomically (readers see the old or the new
// content, never half of it) and leave it readable by its owner only.
class FileLogStore final : public LogStore {
public:
    // No store comes near this size. A larger file is read only this far and one byte more,
    // which no decoder takes for its document: it counts as unreadable and is kept aside,
    // rather than filling memory.
    static constexpr std::size_t kMaxReadBytes = 64 * 1024 * 1024;

    // The signal log's file in the log folder.
    FileLogStore();
    // Uses the path as it is; creates nothing.
    explicit FileLogStore(std::filesystem::path path);

    // The application's own data folder, created on first use; when it cannot be had, a folder
    // of the same name under the temporary directory.
    static std::filesystem::path logDirectory();

    const std::filesystem::path& path() const { return path_; }

    std::optional<std::string> read() const override;
    [[nodiscard]] std::error_code write(std::string_view bytes) override;
    // Each piece goes to the new file as it comes: nothing holds the whole text.
    [[nodiscard]] std::error_code writePieces(const Pieces& pieces) override;
    // Renames the file to its ".corrupt" sibling. A missing file has nothing to keep.
    [[nodiscard]] std::error_code moveAside() override;

private:
    std::filesystem::path path_;
};

}  // namespace quillfen
