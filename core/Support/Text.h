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

// Appends the code point in UTF-8 (up to four bytes).
void appendUtf8(std::string& out, char32_t code);

// One word for a POSIX shell: as it stands when every character is plain, otherwise as
// `singleQuoted` gives it.
std::string shellWord(std::string_view text);

// The text in single quotes for a POSIX shell, always, where a single quote itself leaves the
// quotes, is escaped, and re-enters them.
std::string singleQuoted(std::string_view text);

}  // namespace quillfen::Text
