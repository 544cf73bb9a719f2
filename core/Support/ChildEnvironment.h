#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillfen {

// The environment a child of this process starts with: the user's own, as this process has it
// now, without the secrets the application was given for itself (the prompt registry's keys).
// Made before a child is started, since building it allocates; `get()` is then an envp.
class ChildEnvironment {
public:
    // Every variable whose name begins with this is the application's alone.
    static constexpr std::string_view kOwnPrefix = "QUILLFEN_LANGFUSE_";

    ChildEnvironment();
    ChildEnvironment(const ChildEnvironment&) = delete;
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;

    char* const* get() const { return pointers_.data(); }

private:
    std::vector<std::string> entries_;
    std::vector<char*> pointers_;
};

}  // namespace quillfen
