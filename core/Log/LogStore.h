#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quillfen {

// Where one store keeps its one JSON document.
class LogStore {
public:
    virtual ~LogStore() = default;

    // The stored bytes, or nothing when there are none or they cannot be read.
    virtual std::optional<std::string> read() const = 0;

    // Replaces the stored bytes; an empty error code means the bytes are stored.
    [[nodiscard]] virtual std::error_code write(std::string_view bytes) = 0;

    // Keeps the current bytes under a side name of their own, so that a store that could not
    // make sense of them does not destroy them with its next write. A store with nothing to keep
    // succeeds.
    [[nodiscard]] virtual std::error_code moveAside() { return {}; }

    // The bytes last read could not be decoded: they are kept aside before the next write
    // replaces them (a write that cannot keep them fails), and the refusal is logged.
    virtual void markUndecodable() {}
};

}  // namespace quillfen
