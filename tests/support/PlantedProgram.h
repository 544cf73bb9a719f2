#pragma once

#include <filesystem>
#include <string>

#include "support/TestEnvironment.h"

namespace quillfen::test {

// An executable someone else put where the application might look for a program: it leaves a
// mark beside itself when it runs.
struct PlantedProgram {
    std::filesystem::path path;
    std::filesystem::path mark;

    PlantedProgram(const std::filesystem::path& folder, const std::string& name)
        : path(folder / name), mark(folder / (name + ".ran")) {
        writeFile(path, "#!/bin/sh\ntouch '" + mark.string() + "'\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    bool ran() const { return std::filesystem::exists(mark); }
};

// The process's working folder, for the life of the object.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::filesystem::path& folder)
        : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedWorkingDirectory() { std::filesystem::current_path(previous_); }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

}  // namespace quillfen::test
