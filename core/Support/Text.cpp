#include "Support/Text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace quillfen::Text {

namespace {

bool isSpace(char32_t c) {
    return u_isUWhiteSpace(static_cast<UChar32>(c)) || c == 0x85;
}

// A control character (C0, DEL, C1), or one that reorders or hides the text around it: the Arabic
// letter mark, the zero-width characters and direction marks, the line and paragraph separators
// with the embeddings and overrides, the invisible operators with the isolates, and the byte order
// mark. The scripts keep the same list.
bool hidesOrReorders(UChar32 c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x61c || (c >= 0x200b && c <= 0x200f) ||
           (c >= 0x2028 && c <= 0x202e) || (c >= 0x2060 && c <= 0x2069) || c == 0xfeff;
}

}  // namespace

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string_view trimmedWhere(std::string_view text, bool (*strip)(char32_t)) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    auto stripped = [strip](UChar32 c) { return c >= 0 && strip(static_cast<char32_t>(c)); };
    int32_t begin = 0;
    while (begin < length) {
        int32_t next = begin;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (!stripped(c)) break;
        begin = next;
    }
    int32_t end = length;
    while (end > begin) {
        int32_t prev = end;
        UChar32 c;
        U8_PREV(bytes, begin, prev, c);
        if (!stripped(c)) break;
        end = prev;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::string trimmed(std::string_view text) {
    return std::string(trimmedWhere(text, isSpace));
}

std::string lowercasedAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string shellWord(std::string_view text) {
    auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
    };
    if (!text.empty() && std::all_of(text.begin(), text.end(), plain)) return std::string(text);
    return singleQuoted(text);
}

std::string singleQuoted(std::string_view text) {
    std::string word = "'";
    for (char c : text) {
        if (c == '\'') {
            word += "'\\''";
        } else {
            word += c;
        }
    }
    return word + "'";
}

std::string controlsEscaped(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto size = static_cast<std::int32_t>(text.size());
    for (std::int32_t at = 0; at < size;) {
        const std::int32_t from = at;
        UChar32 code = 0;
        U8_NEXT(bytes, at, size, code);
        if (code >= 0 && !hidesOrReorders(code)) {
            shown.append(text.substr(from, at - from));
            continue;
        }
        char escape[8];
        if (code == '\n' || code == '\r' || code == '\t') {
            shown += code == '\n' ? "\\n" : code == '\r' ? "\\r" : "\\t";
        } else if (code >= 0) {
            std::snprintf(escape, sizeof escape, code < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(code));
            shown += escape;
        } else {
            for (std::int32_t i = from; i < at; ++i) {
                std::snprintf(escape, sizeof escape, "\\x%02x", bytes[i]);
                shown += escape;
            }
        }
    }
    return shown;
}

}  // namespace quillfen::Text
