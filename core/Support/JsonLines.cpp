#include "Support/JsonLines.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <nlohmann/json.hpp>

#include "Support/JsonScanner.h"
#include "Support/JsonText.h"
#include "Support/Text.h"

namespace quillfen::JsonLines {

namespace {

// Line breaks are not trimmed: only spaces, tabs and their Unicode kin.
bool isSpaceOrTab(char32_t c) {
    return c == '\t' || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

}  // namespace

bool nestsDeeperThan(std::string_view text, int maxDepth) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Journals are nearly all ASCII: eight such bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;   // overlong
            if (c == 0xED) high = 0x9F;  // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;   // overlong
            if (c == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            return false;
        }
        if (n - i < length) return false;
        if (s[i + 1] < low || s[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if (!isContinuation(s[i + k])) return false;
        }
        i += length;
    }
    return true;
}

std::optional<std::string> readTail(const std::filesystem::path& path, std::size_t maxBytes) {
    auto bytes = SafeFile::readTail(path, maxBytes, SafeFile::Links::ours);
    if (!bytes || !isValidUtf8(*bytes)) return std::nullopt;
    return bytes;
}

namespace {

// The pieces that both readers look at: split at line feeds, oversized ones dropped, trimmed, blank
// and too deeply nested ones dropped.
template <typename OnPiece>
void forEachPiece(std::string_view text, OnPiece&& onPiece) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t lineFeed = text.find('\n', pos);
        if (lineFeed == std::string_view::npos) lineFeed = text.size();
        std::string_view piece = text.substr(pos, lineFeed - pos);
        pos = lineFeed + 1;
        if (piece.size() > kMaxLineBytes) continue;
        piece = Text::trimmedWhere(piece, isSpaceOrTab);
        // Records are flat: a line of a few thousand brackets is refused before parsing.
        if (piece.empty() || nestsDeeperThan(piece, kMaxDepth)) continue;
        onPiece(piece);
    }
}

}  // namespace

void forEachValue(std::string_view text, const std::function<void(const nlohmann::json&)>& visit) {
    forEachPiece(text, [&](std::string_view piece) {
        if (auto value = JsonText::decode(piece)) visit(*value);
    });
}

void forEachObject(std::string_view text, std::span<const std::string_view> keys,
                   const std::function<void(StringMembers)>& visit) {
    std::vector<std::optional<std::string_view>> members(keys.size());
    std::vector<std::string> scratch(keys.size());
    forEachPiece(text, [&](std::string_view piece) {
        // A JSON parser takes a NUL byte for the end of its input: what follows one is never read.
        if (const void* nul = std::memchr(piece.data(), '\0', piece.size()))
            piece = piece.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - piece.data()));
        if (!isValidUtf8(piece)) return;
        JsonScanner s(piece);
        s.byteOrderMark();
        s.ws();
        if (s.atEnd() || s.peek() != '{') return;
        std::fill(members.begin(), members.end(), std::nullopt);
        const bool ok = s.object([&](std::string_view key) {
            for (std::size_t i = 0; i < keys.size(); ++i) {
                if (key != keys[i]) continue;
                if (s.peek() != '"') {
                    members[i].reset();
                    return s.skipValue();
                }
                std::string_view value;
                if (!s.stringValue(value, scratch[i])) return false;
                members[i] = value;
                return true;
            }
            return s.skipValue();
        });
        if (!ok) return;
        s.ws();
        if (s.atEnd()) visit(members);
    });
}

}  // namespace quillfen::JsonLines
