#pragma once

#include <filesystem>
#include <string_view>

#include "Support/Clock.h"

namespace quillfen::test {

// Sets a file's modification time; aborts the test run when it cannot.
void setModified(const std::filesystem::path& path, TimePoint when);

// Writes a whole file (creating its folders) and gives it the modification time `when`.
void writeFileModified(const std::filesystem::path& path, std::string_view contents, TimePoint when);

}  // namespace quillfen::test
