#include "Support/UnicodeText.h"

#include <memory>

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace quillfen::UnicodeText {

namespace {

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// Break iterators are not safe to share between threads; each thread keeps its own.
icu::BreakIterator* characterBreaks() {
    thread_local std::unique_ptr<icu::BreakIterator> breaks = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> made(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) made.reset();
        return made;
    }();
    return breaks.get();
}

// Boundaries of the clusters of text, first to last, starting with 0 and ending with its length.
// Without break data every code point stands alone, which never undercounts.
std::vector<int32_t> boundaries(const icu::UnicodeString& text) {
    std::vector<int32_t> bounds;
    if (icu::BreakIterator* breaks = characterBreaks()) {
        breaks->setText(text);
        for (int32_t b = breaks->first(); b != icu::BreakIterator::DONE; b = breaks->next())
            bounds.push_back(b);
        // Leave no pointer into a string that is about to go.
        breaks->setText(icu::UnicodeString());
        return bounds;
    }
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1))
        bounds.push_back(i);
    bounds.push_back(text.length());
    return bounds;
}

bool singleScalarWith(const icu::UnicodeString& character, UProperty property) {
    return character.countChar32() == 1 && u_hasBinaryProperty(character.char32At(0), property);
}

bool isCased(const icu::UnicodeString& character, const icu::UnicodeString& upper,
             const icu::UnicodeString& lower) {
    return singleScalarWith(character, UCHAR_CASED) || character != upper || character != lower;
}

}  // namespace

std::vector<std::string> characters(std::string_view text) {
    const icu::UnicodeString u = fromUtf8(text);
    const std::vector<int32_t> bounds = boundaries(u);
    std::vector<std::string> out;
    for (std::size_t i = 1; i < bounds.size(); ++i) {
        out.push_back(toUtf8(icu::UnicodeString(u, bounds[i - 1], bounds[i] - bounds[i - 1])));
    }
    return out;
}

std::size_t characterCount(std::string_view text) {
    if (text.empty()) return 0;
    return boundaries(fromUtf8(text)).size() - 1;
}

std::string firstCharacter(std::string_view text) {
    const icu::UnicodeString u = fromUtf8(text);
    const std::vector<int32_t> bounds = boundaries(u);
    if (bounds.size() < 2) return {};
    return toUtf8(icu::UnicodeString(u, 0, bounds[1]));
}

std::string repairedUtf8(std::string_view bytes) {
    return toUtf8(fromUtf8(bytes));
}

std::string prefix(std::string_view text, std::size_t count) {
    std::string out;
    std::size_t taken = 0;
    for (auto& character : characters(text)) {
        if (taken++ == count) break;
        out += character;
    }
    return out;
}

std::string uppercased(std::string_view text) {
    return toUtf8(fromUtf8(text).toUpper(icu::Locale::getRoot()));
}

std::string lowercased(std::string_view text) {
    return toUtf8(fromUtf8(text).toLower(icu::Locale::getRoot()));
}

std::string caseFolded(std::string_view text) {
    return toUtf8(fromUtf8(text).foldCase());
}

bool isLetter(std::string_view character) {
    const icu::UnicodeString u = fromUtf8(character);
    if (u.isEmpty()) return false;
    return (U_GET_GC_MASK(u.char32At(0)) & U_GC_L_MASK) != 0;
}

bool isUppercase(std::string_view character) {
    const icu::UnicodeString u = fromUtf8(character);
    if (u.isEmpty()) return false;
    if (singleScalarWith(u, UCHAR_UPPERCASE)) return true;
    const icu::UnicodeString upper = icu::UnicodeString(u).toUpper(icu::Locale::getRoot());
    const icu::UnicodeString lower = icu::UnicodeString(u).toLower(icu::Locale::getRoot());
    return u == upper && isCased(u, upper, lower);
}

bool isLowercase(std::string_view character) {
    const icu::UnicodeString u = fromUtf8(character);
    if (u.isEmpty()) return false;
    if (singleScalarWith(u, UCHAR_LOWERCASE)) return true;
    const icu::UnicodeString upper = icu::UnicodeString(u).toUpper(icu::Locale::getRoot());
    const icu::UnicodeString lower = icu::UnicodeString(u).toLower(icu::Locale::getRoot());
    return u == lower && isCased(u, upper, lower);
}

bool isNumeric(std::string_view character) {
    const icu::UnicodeString u = fromUtf8(character);
    if (u.isEmpty()) return false;
    return u_getIntPropertyValue(u.char32At(0), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

}  // namespace quillfen::UnicodeText
