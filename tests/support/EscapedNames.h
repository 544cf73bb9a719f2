#pragma once

#include <string_view>

namespace quillfen::test {

// Names someone else could choose, and how every program and script of ours shows them to a
// person: nothing in one may end the line, move the cursor, erase, ring, or turn or hide the text
// that follows on a terminal. The programs' escaping and the scripts' are both held to this table.
struct EscapedName {
    std::string_view name, shown;
};

inline constexpr EscapedName kEscapedNames[] = {
    {"/home/ana/Bob's \"Apps\" $HOME 100% \\ café 中 Ελένη עברית", "/home/ana/Bob's \"Apps\" $HOME 100% \\ café 中 Ελένη עברית"},
    {"a\nb\rc\td", "a\\nb\\rc\\td"},
    {"\x1b[2K\a\x7f", "\\x1b[2K\\x07\\x7f"},
    {"\xc2\x9b" "31m", "\\u009b31m"},             // the one-character CSI
    {"\xe2\x80\xae" "txt.exe", "\\u202etxt.exe"},  // right-to-left override
    {"\xe2\x81\xa6" "a" "\xe2\x81\xa9", "\\u2066a\\u2069"},  // a left-to-right isolate
    {"pay\xe2\x80\x8bpal \xef\xbb\xbf", "pay\\u200bpal \\ufeff"},  // zero width, byte order mark
    {"\xd8\x9c\xe2\x80\xa8\xe2\x81\xa0", "\\u061c\\u2028\\u2060"},  // Arabic letter mark, line separator, word joiner
    {"\xff\xc3", "\\xff\\xc3"},                     // not UTF-8, cut short
    {"\xe0\x80\xaf \xed\xa0\x80 \xf4\x90\x80\x80", "\\xe0\\x80\\xaf \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},  // overlong, surrogate, too high
    {"\xf0\x9f\xaa\xa8 \xe2\x80\x8a", "\xf0\x9f\xaa\xa8 \xe2\x80\x8a"},  // a rock and a hair space stay
};

}  // namespace quillfen::test
