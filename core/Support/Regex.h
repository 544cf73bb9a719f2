#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

// A compiled regular expression in ICU's syntax (its "\b", "\d", "\s", "\w" and inline flags such
// as "(?i)"), compiled without options. Immutable once made, so one value may be searched from
// several threads at once. A pattern that does not compile is kept as invalid and matches nothing.
class Regex {
public:
    explicit Regex(std::string_view pattern);

    bool valid() const { return impl_ != nullptr; }
    bool foundIn(std::string_view text) const;
    // The text of capture group `group` for every non-overlapping match over the whole text,
    // skipping matches in which that group took no part.
    std::vector<std::string> groupOfEachMatch(std::string_view text, int group) const;

private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

}  // namespace quillfen
