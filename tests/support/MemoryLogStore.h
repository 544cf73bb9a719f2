#pragma once

#include <optional>
#include <string>

#include "Log/LogStore.h"

namespace quillfen::test {

// A store that keeps its bytes in memory, for measuring the work around the disk.
class MemoryLogStore final : public LogStore {
public:
    std::optional<std::string> read() const override { return bytes_; }
    std::error_code write(std::string_view bytes) override {
        bytes_ = std::string(bytes);
        return {};
    }

private:
    std::optional<std::string> bytes_;
};

}  // namespace quillfen::test
