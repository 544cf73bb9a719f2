#pragma once

#include <string>
#include <string_view>

namespace quillfen {

// A project or session of a coding agent is kept only as this one-way mark: the first 6 bytes of
// the SHA-256 of the text's UTF-8 bytes in lower-case hexadecimal, always 12 characters.
std::string fingerprint(std::string_view text);

}  // namespace quillfen
