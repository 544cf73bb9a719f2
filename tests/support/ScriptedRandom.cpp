#include "support/ScriptedRandom.h"

#include <utility>

#include <gtest/gtest.h>

namespace quillfen {

ScriptedRandom::ScriptedRandom(std::vector<std::uint64_t> values)
    : script_(std::make_shared<Script>(Script{std::move(values), 0})) {}

ScriptedRandom::result_type ScriptedRandom::operator()() {
    if (script_->next >= script_->values.size()) {
        ADD_FAILURE() << "a draw past the end of the script (" << script_->values.size() << " values)";
        ++script_->next;
        return 0;
    }
    return script_->values[script_->next++];
}

std::size_t ScriptedRandom::draws() const {
    return script_->next;
}

AnyRNGBox evenBreaths(std::size_t draws) {
    const std::uint64_t middle = std::numeric_limits<std::uint64_t>::max() / 2;
    return AnyRNGBox(ScriptedRandom(std::vector<std::uint64_t>(draws, middle)));
}

}  // namespace quillfen
