#pragma once

#include <functional>
#include <stop_token>
#include <string_view>
#include <thread>

namespace quillfen::Threads {

// A thread running `body`, or an empty one (not joinable) when the system has no thread to give
// (std::system_error: the user's process limit is reached). The work is then skipped until its
// next occasion, which the caller keeps; the first refusal of each kind of `work` ("the tick",
// "the updater") is one system-log line.
std::jthread startOrSkip(std::string_view work, std::function<void(std::stop_token)> body);

}  // namespace quillfen::Threads
