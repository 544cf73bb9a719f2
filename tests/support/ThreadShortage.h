#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillfen::test {

// Whether this machine can make a process short of threads: a process limit binds every user but
// root and those holding CAP_SYS_RESOURCE or CAP_SYS_ADMIN, and root can become another user.
bool canRunShortOfThreads();

// For the child of a death test of style "threadsafe" (a fresh process of the test binary, so
// no lock is held by a thread that the fork left behind). From now on the system refuses this
// process every new thread and process, as for a user who has reached their limit, until the
// returned function is called. A process limit does not bind root, so root first becomes an
// unprivileged user, who is given the folders in `handedOver`. Ends the process with status 2 and
// a message when that cannot be done.
std::function<void()> runShortOfThreads(const std::vector<std::filesystem::path>& handedOver = {});

// Ends the death test's child: status 0 when `seen` is `expected`, else 1; both go to stderr,
// where the test's failure shows them.
[[noreturn]] void exitSeeing(const std::string& seen, const std::string& expected);

// An unprivileged user id for a test run as root: unused by anyone else, so that no other
// process counts against its limit.
unsigned unprivilegedUser();

// Gives `root` and everything below it to that user.
void handOver(const std::filesystem::path& root, unsigned user);

}  // namespace quillfen::test
