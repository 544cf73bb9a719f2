#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/TestEnvironment.h"

namespace quillfen::test {

// Account and group databases of a test's own (a user with a group of their own, a group with a
// second member), seen by a child instead of the machine's, whose files stay as they are. The
// databases are read through NSS, so the child is this test program started again with
// nss_wrapper preloaded; there it runs one step, registered by name, instead of the tests.
class WrappedAccounts {
public:
    // An account and its group that a directory service alone knows: it answers lookups of them
    // and lists nothing, its listings taking `slowListing` seconds.
    struct Directory {
        std::string account;  // name:uid:gid
        std::string group;    // name:gid:member,member
        unsigned slowListing = 0;
    };

    // In the forms of /etc/passwd (the child's local account file too) and /etc/group.
    WrappedAccounts(std::string_view passwd, std::string_view group, std::optional<Directory> directory = {});

    // What step `name` gives for `arguments`, run as `uid` (with group `gid` and no other, unless
    // that is who the test runs as) in a child that sees these databases; nothing when the child could not run it (libnss-wrapper
    // missing, the step unknown, a crash).
    std::optional<std::string> run(const std::string& name, unsigned uid, unsigned gid,
                                   const std::vector<std::string>& arguments) const;

private:
    TempDir dir_;
    std::optional<Directory> directory_;
};

// A step: from its arguments, what the child hands back.
using ChildStep = std::function<std::string(const std::vector<std::string>& arguments)>;

// Registers a step under `name`, from a namespace-scope initialiser, so that the child has it too.
bool registerChildStep(const std::string& name, ChildStep step);

// For main, first: when this process is such a child, runs its step and gives the exit status.
std::optional<int> runChildStepIfAsked(int argc, char** argv);

}  // namespace quillfen::test
