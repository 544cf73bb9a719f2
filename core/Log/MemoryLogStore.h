#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "Log/LogStore.h"

namespace quillfen {

// A store that keeps its bytes in memory for the life of the process: where no folder of ours
// can be had, the stores still work for the run.
class MemoryLogStore final : public LogStore {
public:
    std::optional<std::string> read() const override {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    [[nodiscard]] std::error_code write(std::string_view bytes) override {
        std::lock_guard lock(mutex_);
        bytes_ = std::string(bytes);
        return {};
    }

private:
    mutable std::mutex mutex_;
    std::optional<std::string> bytes_;
};

}  // namespace quillfen
