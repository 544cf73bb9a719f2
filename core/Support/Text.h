#pragma once

#include <string>
#include <string_view>

namespace quillfen::Text {

// Strips Unicode white space and line breaks from both ends of UTF-8 text.
// Bytes that are not valid UTF-8 are kept as they are.
std::string trimmed(std::string_view text);

// The text without the leading and trailing code points that `strip` accepts (invalid bytes
// never match). The view points into `text`.
std::string_view trimmedWhere(std::string_view text, bool (*strip)(char32_t));

std::string lowercasedAscii(std::string_view text);

// The value of a hexadecimal digit of either case; -1 for any other character.
int hexDigitValue(char c);

// 0-9 only, whatever the locale says.
constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// Appends the code point in UTF-8 (up to four bytes).
void appendUtf8(std::string& out, char32_t code);

// One word for a POSIX shell: as it stands when every character is plain, otherwise as
// `singleQuoted` gives it.
std::string shellWord(std::string_view text);

// The text as a terminal may show it: every control character (C0, DEL, C1), every character that
// reorders or hides text (U+061C, U+200B-U+200F, U+2028-U+202E, U+2060-U+2069, U+FEFF) and every
// byte that is not UTF-8 written as an escape ("\n", "\x1b", "\u202e"), so that a name someone
// else chose cannot end, rewrite or reorder the line it is printed in. Everything else, letters
// of any script too, stays as it is. The scripts show names the same way (scripts/handoff.sh).
std::string controlsEscaped(std::string_view text);

// The text in single quotes for a POSIX shell, always, where a single quote itself leaves the
// quotes, is escaped, and re-enters them.
std::string singleQuoted(std::string_view text);

}  // namespace quillfen::Text
