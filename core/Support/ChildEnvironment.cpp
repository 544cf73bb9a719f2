#include "Support/ChildEnvironment.h"

extern char** environ;

namespace quillfen {

ChildEnvironment::ChildEnvironment() {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string_view text(*entry);
        if (text.starts_with(kOwnPrefix)) continue;
        entries_.emplace_back(text);
    }
    pointers_.reserve(entries_.size() + 1);
    for (auto& entry : entries_)
        pointers_.push_back(entry.data());
    pointers_.push_back(nullptr);
}

}  // namespace quillfen
