#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "Support/SafeFile.h"

// Journals of one JSON value a line that other tools append to and never trim. They are
// outside input: read them through here so that a hostile or broken file costs a bounded
// amount of work and never more than a skipped line.
namespace quillfen::JsonLines {

// No record we read comes near this; a longer line is skipped without being parsed.
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
// Nor is any nested this deep; a deeper line is skipped without being parsed.
inline constexpr int kMaxDepth = 64;

// The newest `maxBytes` of the file (all of it when smaller), starting at a line start: the
// line that the limit cuts through is left out whole. No value when the path is not a regular
// file, cannot be read, or the text is not valid UTF-8. Never blocks on a pipe or device. The
// journals are kept in the family folder, by us and by the user's own tools (the prompt hook, the
// browser companion): only the user's own links are followed, as for any file of ours.
std::optional<std::string> readTail(const std::filesystem::path& path, std::size_t maxBytes);

// Whether the text opens more than `maxDepth` arrays and objects inside each other, strings
// skipped. Whatever walks a parsed value recursively (copying, printing, comparing) runs out of
// stack on a text of a few thousand brackets: such a text is refused before it is parsed.
bool nestsDeeperThan(std::string_view text, int maxDepth);

// Strict UTF-8: no overlong forms, surrogates or code points above U+10FFFF.
bool isValidUtf8(std::string_view bytes);

// Splits at line feeds, trims spaces and tabs (every Unicode space separator, but no line
// break) from both ends of each piece, and hands each piece that parses as JSON to `visit`,
// in file order. Blank, oversized, too deeply nested and unparsable pieces are skipped.
void forEachValue(std::string_view text, const std::function<void(const nlohmann::json&)>& visit);

// Per key: the member's text when the object holds it as a string (the last one when the key
// repeats), otherwise nothing. Views are valid during the call only.
using StringMembers = std::span<const std::optional<std::string_view>>;

// The same lines as `forEachValue`, read without building a document: for each line that it would
// hand over as a JSON object, `visit` gets the top-level string members named by `keys`, in their
// order. A line is taken or refused exactly as there; journals of plain records read several
// times faster.
void forEachObject(std::string_view text, std::span<const std::string_view> keys,
                   const std::function<void(StringMembers)>& visit);

}  // namespace quillfen::JsonLines
