#include "UrlSchemeRegistration.h"

#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "Support/Paths.h"
#include "support/DesktopEntryValidation.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Outcome = UrlSchemeRegistration::Outcome;

// The desktop's own tools, in a temporary home; the copies are installed below a folder that stands
// for the machine's own, whatever the machine has installed.
TEST(UrlSchemeRegistration, MakesTheEntryTheHandoffsHandlerOnceAndMendsAStaleOne) {
    test::TestHome home;
    const auto system = home.path() / "system";
    test::ScopedEnv systemEntries("XDG_DATA_DIRS", system.string());
    auto runner = makeCommandRunner(10);
    const RunningCopy::Installation first{system / "opt/Quill fen"}, elsewhere{system / "usr/local"};
    const struct {
        std::string name;
        std::optional<RunningCopy::Installation> installed;
        Outcome outcome;
    } starts[] = {
        {"from a build folder", std::nullopt, {false, false, false}},
        {"first start", first, {true, true, true}},
        {"the next start", first, {false, false, false}},
        {"installed elsewhere", elsewhere, {true, true, false}},
    };
    for (const auto& start : starts)
        EXPECT_EQ(UrlSchemeRegistration::ensure(start.installed, *runner), start.outcome) << start.name;

    const auto entry = DesktopEntry::userFile();
    EXPECT_EQ(entry.parent_path(), home.path() / ".local/share/applications");
    EXPECT_EQ(test::readFile(entry), DesktopEntry::text(elsewhere.launcher(), DesktopEntry::Icon::byPath));
    EXPECT_NE(test::readFile(entry).find("Exec=\"" + elsewhere.launcher().string() + "\" %u\n"),
              std::string::npos);
    EXPECT_EQ(test::desktopEntryComplaints(entry), "");
    EXPECT_NE(test::readFile(entry.parent_path() / "mimeinfo.cache")
                  .find("x-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop;"),
              std::string::npos);
    EXPECT_TRUE(UrlSchemeRegistration::namesUsAsDefault(test::readFile(Paths::configHome() / "mimeapps.list")));
}

// A mimeapps.list that our line alone filled goes with it; one with anything else of the user's
// stays, a comment even, and so does the user's own link to one, leading to it emptied.
TEST(UrlSchemeRegistration, TakingUsOutOfTheChoicesRemovesAFileThatHeldNothingElse) {
    using Removal = UrlSchemeRegistration::Removal;
    const std::string ours = "x-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop\n";
    const std::string alone = "[Default Applications]\n" + ours;
    const struct {
        const char* what;
        std::string before;
        bool linked;
        Removal removal;
        std::optional<std::string> after;  // none: the file is gone
    } cases[] = {
        {"ours alone, in both groups", alone + "\n[Added Associations]\r\n" + ours, false, Removal::fileRemoved,
         std::nullopt},
        {"a comment of the user's", "# mine\n" + alone, false, Removal::removed, "# mine\n[Default Applications]\n"},
        {"through the user's own link", alone, true, Removal::removed, "[Default Applications]\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        const auto choices = UrlSchemeRegistration::choicesFile();
        const auto file = c.linked ? home.path() / "dotfiles/mimeapps.list" : choices;
        test::writeFile(file, c.before);
        if (c.linked) fs::create_symlink(file, choices);

        EXPECT_EQ(UrlSchemeRegistration::removeFromChoices(), c.removal);
        EXPECT_EQ(fs::is_symlink(choices), c.linked);
        if (c.after) {
            EXPECT_EQ(test::readFile(choices), *c.after);
        } else {
            EXPECT_FALSE(fs::exists(fs::symlink_status(choices)));
        }
    }
}

}  // namespace
}  // namespace quillfen
