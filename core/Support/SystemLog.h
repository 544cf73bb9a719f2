#pragma once

#include <functional>
#include <string_view>

namespace quillfen::SystemLog {

enum class Level { info, notice, error };

// One line to syslog(3) under the app's identifier, tagged with a category
// ("launch-agent", "sky", ...). Never blocks on or fails for the caller. `notice` is the
// level of a line that is neither routine nor an error: a step the system skipped or put off.
void info(std::string_view category, std::string_view message);
void notice(std::string_view category, std::string_view message);
void error(std::string_view category, std::string_view message);

// A notice the first time `key` comes in this run (a refused file is told once, however often
// it is met); later ones are dropped.
void noticeOnce(std::string_view category, std::string_view key, std::string_view message);

// While a listener is set, every line is handed to it as well, on the thread that logs it;
// tests read what a service said through it. An empty function removes it.
using Listener = std::function<void(Level, std::string_view category, std::string_view message)>;
void setListener(Listener listener);

}  // namespace quillfen::SystemLog
