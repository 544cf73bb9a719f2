#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

// Reads JSON text in place, checked as strictly as a full parser would (a truncated value, a stray
// byte or a lone surrogate fails), without building a document: a reader takes the few members it
// needs and passes over the rest, however large. The text must be valid UTF-8.
class JsonScanner {
public:
    explicit JsonScanner(std::string_view text) : p_(text.data()), end_(text.data() + text.size()) {}

    bool atEnd() const { return p_ == end_; }
    char peek() const { return *p_; }
    // A value's text runs from here before it is read to here after.
    const char* position() const { return p_; }

    void ws() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r'))
            ++p_;
    }

    // Reads the members of the object at the cursor; `onMember(key)` must consume each value.
    template <typename OnMember>
    bool object(OnMember&& onMember) {
        ++p_;
        ws();
        if (p_ < end_ && *p_ == '}') {
            ++p_;
            return true;
        }
        for (;;) {
            std::string_view key;
            if (!memberKey(key)) return false;
            if (!onMember(key)) return false;
            ws();
            if (p_ == end_) return false;
            if (*p_ == ',') {
                ++p_;
                continue;
            }
            if (*p_ == '}') {
                ++p_;
                return true;
            }
            return false;
        }
    }

    // Reads the elements of the array at the cursor; `onElement()` finds the cursor on each element
    // and must consume it.
    template <typename OnElement>
    bool array(OnElement&& onElement) {
        ++p_;
        ws();
        if (p_ < end_ && *p_ == ']') {
            ++p_;
            return true;
        }
        for (;;) {
            ws();
            if (p_ == end_ || !onElement()) return false;
            ws();
            if (p_ == end_) return false;
            if (*p_ == ',') {
                ++p_;
                continue;
            }
            if (*p_ == ']') {
                ++p_;
                return true;
            }
            return false;
        }
    }

    // A string value at the cursor, decoded into `out`.
    bool string(std::string& out) {
        out.clear();
        return stringBody(&out);
    }

    // A string value at the cursor as a view: into the text when it holds no escape, else into
    // `scratch`, which holds its decoded form.
    bool stringValue(std::string_view& out, std::string& scratch);

    // A number at the cursor (on its sign or first digit), checked as `skipValue` checks one: its
    // text, and whether it is written as a whole number (no fraction, no exponent).
    bool numberToken(std::string_view& text, bool& integral);

    // The double nearest to a number's text, as a JSON parser reads it (not finite when too large).
    static double numberValue(std::string_view text);

    // Moves past a byte order mark at the cursor, as JSON parsers do at the start of their input.
    void byteOrderMark();

    // Any value at the cursor, checked and passed over. Nesting is tracked on a stack of its own,
    // so no input can exhaust the call stack.
    bool skipValue();

private:
    bool memberKey(std::string_view& key);

    bool skipKey();

    // The cursor is on the opening quote; leaves it after the closing one.
    bool stringBody(std::string* out);

    // Moves past bytes that need no attention inside a string, sixteen at a time where it can:
    // tool output makes up most of a log and is nothing but such runs.
    void skipPlainRun();

    bool hex4(unsigned& code);

    bool literal(std::string_view word);

    bool number();


    const char* p_;
    const char* end_;
    std::vector<char> stack_;
    std::string keyScratch_;
};

}  // namespace quillfen
