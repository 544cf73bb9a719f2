#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Unicode text rules over UTF-8, as people read text: a "character" is an extended grapheme
// cluster, so an emoji family or a letter with its accents counts once. Bytes that are not
// valid UTF-8 read as U+FFFD. Case mappings are the full, untailored ones (ß upper-cases to SS).
namespace quillfen::UnicodeText {

std::vector<std::string> characters(std::string_view text);
std::size_t characterCount(std::string_view text);
// The first character, or an empty text when there is none.
std::string firstCharacter(std::string_view text);

// The text with every invalid UTF-8 sequence replaced by U+FFFD.
std::string repairedUtf8(std::string_view bytes);
// At most the first `count` characters.
std::string prefix(std::string_view text, std::size_t count);

std::string uppercased(std::string_view text);
std::string lowercased(std::string_view text);
std::string caseFolded(std::string_view text);

// Properties of one character (one grapheme cluster). A character is a letter when its first
// scalar is in a letter category. It is upper-case when it is a single scalar with the Uppercase
// property, or when upper-casing leaves it unchanged and it is cased; lower-case likewise. So a
// letter without case (中) is neither.
bool isLetter(std::string_view character);
bool isUppercase(std::string_view character);
bool isLowercase(std::string_view character);
// Whether the character's first scalar has a numeric value (any Numeric_Type): ASCII digits, but
// also other scripts' digits, fractions and Roman numerals.
bool isNumeric(std::string_view character);

}  // namespace quillfen::UnicodeText
