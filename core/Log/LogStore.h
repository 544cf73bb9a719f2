#pragma once

#include <functional>
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

    // Hands the new bytes to its sink piece by piece, in order; false gives up.
    using Pieces = std::function<bool(const std::function<bool(std::string_view)>& sink)>;

    // Replaces the stored bytes with those that `pieces` hands over, so that a large document need
    // not be held whole anywhere. When `pieces` gives up the stored bytes stay as they were and the
    // result is an error. This default gathers the pieces and writes them at once.
    [[nodiscard]] virtual std::error_code writePieces(const Pieces& pieces) {
        std::string bytes;
        const bool whole = pieces([&bytes](std::string_view piece) {
            bytes += piece;
            return true;
        });
        if (!whole) return std::make_error_code(std::errc::operation_canceled);
        return write(bytes);
    }

    // Keeps the current bytes under a side name of their own, so that a store that could not
    // make sense of them does not destroy them with its next write. A store with nothing to keep
    // succeeds.
    [[nodiscard]] virtual std::error_code moveAside() { return {}; }

    // The bytes last read could not be decoded: they are kept aside before the next write
    // replaces them (a write that cannot keep them fails), and the refusal is logged.
    virtual void markUndecodable() {}
};

}  // namespace quillfen
