#include "Support/JsonScanner.h"

#include <locale.h>
#include <clocale>
#include <charconv>
#include <cmath>
#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Support/Text.h"

namespace quillfen {

namespace {

// Bytes that end a plain run inside a string: the closing quote, an escape, a control character.
constexpr auto kStringStops = [] {
    struct Table {
        bool stop[256] = {};
    } t;
    for (int c = 0; c < 0x20; ++c)
        t.stop[c] = true;
    t.stop[static_cast<unsigned char>('"')] = true;
    t.stop[static_cast<unsigned char>('\\')] = true;
    return t;
}();

}  // namespace

bool JsonScanner::stringValue(std::string_view& out, std::string& scratch) {
    const char* start = p_ + 1;
    if (!stringBody(nullptr)) return false;
    out = std::string_view(start, static_cast<std::size_t>(p_ - 1 - start));
    if (out.find('\\') == std::string_view::npos) return true;
    p_ = start - 1;
    if (!string(scratch)) return false;
    out = scratch;
    return true;
}

void JsonScanner::byteOrderMark() {
    if (end_ - p_ >= 3 && p_[0] == '\xEF' && p_[1] == '\xBB' && p_[2] == '\xBF') p_ += 3;
}

bool JsonScanner::skipValue() {
    stack_.clear();
    for (;;) {
        ws();
        if (p_ == end_) return false;
        char c = *p_;
        if (c == '{') {
            ++p_;
            ws();
            if (p_ < end_ && *p_ == '}') {
                ++p_;
            } else {
                stack_.push_back('}');
                if (!skipKey()) return false;
                continue;
            }
        } else if (c == '[') {
            ++p_;
            ws();
            if (p_ < end_ && *p_ == ']') {
                ++p_;
            } else {
                stack_.push_back(']');
                continue;
            }
        } else if (c == '"') {
            if (!stringBody(nullptr)) return false;
        } else if (c == 't') {
            if (!literal("true")) return false;
        } else if (c == 'f') {
            if (!literal("false")) return false;
        } else if (c == 'n') {
            if (!literal("null")) return false;
        } else if (c == '-' || Text::isAsciiDigit(c)) {
            if (!number()) return false;
        } else {
            return false;
        }
        // A value is complete: close what it completes, or move to the next element.
        for (;;) {
            if (stack_.empty()) return true;
            ws();
            if (p_ == end_) return false;
            if (*p_ == ',') {
                ++p_;
                if (stack_.back() == '}' && !skipKey()) return false;
                break;
            }
            if (*p_ != stack_.back()) return false;
            ++p_;
            stack_.pop_back();
        }
    }
}

bool JsonScanner::memberKey(std::string_view& key) {
    ws();
    if (p_ == end_ || *p_ != '"') return false;
    const char* start = p_ + 1;
    if (!stringBody(nullptr)) return false;
    key = std::string_view(start, static_cast<std::size_t>(p_ - 1 - start));
    // Escaped keys are rare; they are compared in their decoded form.
    if (key.find('\\') != std::string_view::npos) {
        p_ = start - 1;
        if (!string(keyScratch_)) return false;
        key = keyScratch_;
    }
    ws();
    if (p_ == end_ || *p_ != ':') return false;
    ++p_;
    ws();
    return p_ < end_;
}

bool JsonScanner::skipKey() {
    std::string_view ignored;
    return memberKey(ignored);
}

bool JsonScanner::stringBody(std::string* out) {
    ++p_;
    const char* run = p_;
    for (;;) {
        skipPlainRun();
        if (p_ == end_) return false;
        if (out) out->append(run, p_);
        char c = *p_;
        if (c == '"') {
            ++p_;
            return true;
        }
        if (c != '\\') return false;
        ++p_;
        if (p_ == end_) return false;
        char e = *p_++;
        char plain = 0;
        switch (e) {
            case '"':
                plain = '"';
                break;
            case '\\':
                plain = '\\';
                break;
            case '/':
                plain = '/';
                break;
            case 'b':
                plain = '\b';
                break;
            case 'f':
                plain = '\f';
                break;
            case 'n':
                plain = '\n';
                break;
            case 'r':
                plain = '\r';
                break;
            case 't':
                plain = '\t';
                break;
            case 'u': {
                unsigned code;
                if (!hex4(code)) return false;
                if (code >= 0xDC00 && code <= 0xDFFF) return false;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    unsigned low;
                    if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
                    p_ += 2;
                    if (!hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                }
                if (out) Text::appendUtf8(*out, code);
                break;
            }
            default:
                return false;
        }
        if (out && plain) *out += plain;
        run = p_;
    }
}

void JsonScanner::skipPlainRun() {
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i slash = _mm_set1_epi8('\\');
    while (end_ - p_ >= 16) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
        // Unsigned "below 0x20": the minimum with 0x1F equals the byte only for control bytes.
        __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1F)), bytes);
        __m128i stops = _mm_or_si128(
            _mm_or_si128(_mm_cmpeq_epi8(bytes, quote), _mm_cmpeq_epi8(bytes, slash)), control);
        int mask = _mm_movemask_epi8(stops);
        if (mask != 0) {
            p_ += __builtin_ctz(static_cast<unsigned>(mask));
            return;
        }
        p_ += 16;
    }
#endif
    while (p_ < end_ && !kStringStops.stop[static_cast<unsigned char>(*p_)])
        ++p_;
}

bool JsonScanner::hex4(unsigned& code) {
    if (end_ - p_ < 4) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
        char c = *p_++;
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        code = code * 16 + digit;
    }
    return true;
}

bool JsonScanner::literal(std::string_view word) {
    if (static_cast<std::size_t>(end_ - p_) < word.size() || std::string_view(p_, word.size()) != word) {
        return false;
    }
    p_ += word.size();
    return true;
}

bool JsonScanner::number() {
    std::string_view text;
    bool integral;
    return numberToken(text, integral);
}

bool JsonScanner::numberToken(std::string_view& text, bool& integral) {
    const char* start = p_;
    if (*p_ == '-') ++p_;
    if (p_ == end_ || !Text::isAsciiDigit(*p_)) return false;
    if (*p_ == '0') {
        ++p_;
    } else {
        while (p_ < end_ && Text::isAsciiDigit(*p_))
            ++p_;
    }
    integral = true;
    if (p_ < end_ && *p_ == '.') {
        integral = false;
        ++p_;
        if (p_ == end_ || !Text::isAsciiDigit(*p_)) return false;
        while (p_ < end_ && Text::isAsciiDigit(*p_))
            ++p_;
    }
    if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
        integral = false;
        ++p_;
        if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
        if (p_ == end_ || !Text::isAsciiDigit(*p_)) return false;
        while (p_ < end_ && Text::isAsciiDigit(*p_))
            ++p_;
    }
    text = std::string_view(start, static_cast<std::size_t>(p_ - start));
    // A number too large for a double does not parse; short integers cannot be.
    if (integral && text.size() <= 19) return true;
    return std::isfinite(numberValue(text));
}

double JsonScanner::numberValue(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc() && end == text.data() + text.size()) return value;
    // Out of range: strtod gives the infinity or the tiny value a parser would.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return strtod_l(std::string(text).c_str(), nullptr, cLocale);
}

}  // namespace quillfen
