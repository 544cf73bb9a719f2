#include "support/HeadlessCompositor.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <utility>

namespace quillfen {
namespace {

namespace fs = std::filesystem;

// A compositor is taken as started once a client gets in at its socket, not once the socket's file
// is there: that comes at the bind(), and a client is refused until the listen(). In a folder whose
// path is longer than a socket address holds too, as a test's folder under a long home may be.
TEST(HeadlessCompositor, ASocketCountsAsReadyOnceItListensWhereverItsFolderIs) {
    test::TempDir dir;
    const fs::path deep = dir.path() / std::string(60, 'd') / std::string(60, 'e');
    fs::create_directories(deep);
    struct Case {
        const char* what;
        fs::path folder;
        bool bound, listening;
    };
    const Case cases[] = {
        {"no socket yet", dir.path(), false, false},
        {"bound, not yet listening", dir.path(), true, false},
        {"listening", dir.path(), true, true},
        {"listening in a deep folder", deep, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path socket = c.folder / "wayland-1";
        fs::remove(socket);
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(server, 0);
        if (c.bound) {
            // Bound from inside its folder, whose full path may not fit in the address.
            const auto back = fs::current_path();
            fs::current_path(c.folder);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strcpy(address.sun_path, "wayland-1");
            const int bound = ::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
            fs::current_path(back);
            ASSERT_EQ(bound, 0);
        }
        if (c.listening) {
            ASSERT_EQ(::listen(server, 4), 0);
        }
        EXPECT_EQ(test::listensAt(socket), c.listening);
        ::close(server);
    }
}

// KWin's fake input is granted as a Plasma session grants it, never with its check turned off: the
// program that the entry names has it, and the same program at a path no entry names has not.
TEST(HeadlessCompositor, KWinOffersItsFakeInputToTheProgramItsEntryNamesAndToNoOther) {
    test::HeadlessCompositor kwin(test::HeadlessCompositor::Kind::kwin);
    kwin.grantFakeInput();
    if (auto failure = kwin.start()) GTEST_SKIP() << *failure;
    test::TempDir elsewhere;
    const fs::path unnamed = elsewhere.path() / kwin.client().filename();
    fs::copy_file(kwin.client(), unnamed);
    // The client's `input` ends with status 2 where it was not offered fake input.
    const std::pair<fs::path, int> cases[] = {{kwin.client(), 0}, {unnamed, 2}};
    for (const auto& [program, status] : cases) {
        const auto ended = kwin.run({program.string(), "input"})->waitForExit(test::kPatience);
        ASSERT_TRUE(ended && WIFEXITED(*ended)) << program;
        EXPECT_EQ(WEXITSTATUS(*ended), status) << program;
    }
}

}  // namespace
}  // namespace quillfen
