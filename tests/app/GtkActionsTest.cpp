#include "GtkActions.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/GLibActionGroup.h"
#include "support/QtTestSupport.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

constexpr const char* kPath = "/org/quillfen/Quillfen";

// The actions of the menu entry, on a private session bus, noting what they are asked to do.
struct OfferedActions {
    test::PrivateBus bus;
    test::ScopedEnv session{"DBUS_SESSION_BUS_ADDRESS", bus.address()};
    std::vector<std::string> activated;
    GtkActions actions{{"settings", "quit"},
                       [this](const std::string& action) { activated.push_back(action); }};
};

// What a program says, its errors too, and whether it ended well, the actions answering meanwhile on
// this thread.
std::pair<std::string, bool> ran(OfferedActions& offered, std::vector<std::string> command) {
    command.insert(command.begin(), {"/bin/sh", "-c", "\"$@\" >&3 2>&1", "sh"});
    test::ChildProcess child(command, {{"DBUS_SESSION_BUS_ADDRESS", offered.bus.address()}}, 3);
    EXPECT_TRUE(test::spinUntil([&] { return !child.running(); }));
    const std::string said = child.readRest();
    const auto status = child.waitForExit(test::kPatience);
    return {said, status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0};
}

// GLib's action groups, GNOME Shell's among them, read each action as taking no parameter, and
// activate one as GNOME's own Quit does: it runs once, on the main loop, after the answer.
TEST(GtkActions, GLibReadsEachActionAsTakingNoParameterAndActivatesIt) {
    OfferedActions offered;
    ASSERT_TRUE(offered.actions.start(kPath));
    ASSERT_FALSE(offered.actions.uniqueName().empty());
    const auto [said, ended] =
        ran(offered, test::glibActionGroupReader(offered.actions.uniqueName(), kPath, "quit"));
    EXPECT_TRUE(ended) << said;
    EXPECT_EQ(said, "quit none\nsettings none\n");
    EXPECT_TRUE(test::spinUntil([&] { return !offered.activated.empty(); }));
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_EQ(offered.activated, std::vector<std::string>{"quit"});
}

// What is not an action of the entry, or not as the entry has it, is refused with a reason and
// runs nothing.
TEST(GtkActions, RefusesWhatIsNoActionOfItsOwnAndRunsNothing) {
    OfferedActions offered;
    ASSERT_TRUE(offered.actions.start(kPath));
    struct Call {
        const char* what;
        std::vector<std::string> arguments;
        const char* said;
    };
    const Call calls[] = {
        {"an action it does not have",
         {"org.gtk.Actions.Activate", "forget", "[]", "{}"},
         "no action is named forget"},
        {"a parameter the action does not take",
         {"org.gtk.Actions.Activate", "quit", "[<'now'>]", "{}"},
         "takes no parameter"},
        {"the description of an action it does not have",
         {"org.gtk.Actions.Describe", "forget"},
         "no action is named forget"},
        {"a state, which no action has",
         {"org.gtk.Actions.SetState", "quit", "<true>", "{}"},
         "no action has a state"},
        {"another interface", {"org.freedesktop.Application.Activate", "{}"}, "no such interface"},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.what);
        std::vector<std::string> command{
            "/usr/bin/gdbus", "call", "--session", "--dest", offered.actions.uniqueName(),
            "--object-path",  kPath,  "--method"};
        command.insert(command.end(), call.arguments.begin(), call.arguments.end());
        const auto [said, ended] = ran(offered, command);
        EXPECT_FALSE(ended);
        EXPECT_NE(said.find(call.said), std::string::npos) << said;
    }
    test::spinFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(offered.activated.empty());
}

// Without a session bus there is nothing to offer them on: it says so, and names no connection.
TEST(GtkActions, WithoutASessionBusItStartsNotAndNamesNoConnection) {
    test::TempDir folder;
    test::ScopedEnv session("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder.path() / "no-bus").string());
    GtkActions actions({"quit"}, [](const std::string&) {});
    EXPECT_FALSE(actions.start(kPath));
    EXPECT_TRUE(actions.uniqueName().empty());
}

}  // namespace
}  // namespace quillfen
