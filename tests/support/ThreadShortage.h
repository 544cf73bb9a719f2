#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillfen::test {

// A machine short of threads, in a child process: the system refuses the child every new thread
// and process (its process limit is at one, as for a user who has reached theirs) until `body`
// calls the function it is given, which lifts the limit again. A process limit does not bind
// root, so when this process is root the child first becomes an unprivileged user, who is given
// the folders in `handedOver`.
//
// `body` returns what it saw; that text comes back, or, when the child did not get to the end,
// how it ended ("ended by signal 6"). Nothing when this machine cannot make such a child; the
// test then skips.
using ShortBody = std::function<std::string(const std::function<void()>& liftLimit)>;
std::optional<std::string> runShortOfThreads(const ShortBody& body,
                                             const std::vector<std::filesystem::path>& handedOver = {});

// An unprivileged user id for a test run as root: unused by anyone else, so that no other
// process counts against its limit.
unsigned unprivilegedUser();

// Gives `root` and everything below it to that user.
void handOver(const std::filesystem::path& root, unsigned user);

}  // namespace quillfen::test
