#pragma once

#include <string_view>

namespace quillfen::SystemLog {

// One line to syslog(3) under the app's identifier, tagged with a category
// ("launch-agent", "sky", ...). Never blocks on or fails for the caller.
void info(std::string_view category, std::string_view message);
void error(std::string_view category, std::string_view message);

}  // namespace quillfen::SystemLog
