#include "Support/Regex.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

namespace quillfen {

namespace {

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

}  // namespace

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

Regex::Regex(std::string_view pattern) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(fromUtf8(pattern), 0, parseError, status));
    if (U_FAILURE(status) || !compiled) return;
    auto impl = std::make_shared<Impl>();
    impl->pattern = std::move(compiled);
    impl_ = std::move(impl);
}

bool Regex::foundIn(std::string_view text) const {
    if (!impl_) return false;
    const icu::UnicodeString subject = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher) return false;
    const bool found = matcher->find(status);
    return U_SUCCESS(status) && found;
}

std::vector<std::string> Regex::groupOfEachMatch(std::string_view text, int group) const {
    std::vector<std::string> out;
    if (!impl_) return out;
    const icu::UnicodeString subject = fromUtf8(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(subject, status));
    if (U_FAILURE(status) || !matcher || group < 0 || group > matcher->groupCount()) return out;
    while (matcher->find(status) && U_SUCCESS(status)) {
        // A group that took no part in the match starts at -1.
        if (matcher->start(group, status) < 0 || U_FAILURE(status)) {
            status = U_ZERO_ERROR;
            continue;
        }
        std::string piece;
        matcher->group(group, status).toUTF8String(piece);
        if (U_FAILURE(status)) break;
        out.push_back(std::move(piece));
    }
    return out;
}

}  // namespace quillfen
