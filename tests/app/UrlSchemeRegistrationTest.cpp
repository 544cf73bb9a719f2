#include "UrlSchemeRegistration.h"

#include <gtest/gtest.h>

#include "DesktopEntry.h"
#include "Support/Paths.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using Outcome = UrlSchemeRegistration::Outcome;

// The desktop's own tools, in a temporary home.
TEST(UrlSchemeRegistration, MakesTheEntryTheHandoffsHandlerOnceAndMendsAStaleOne) {
    test::TestHome home;
    test::ScopedEnv systemEntries("XDG_DATA_DIRS", (home.path() / "system").string());
    auto runner = makeCommandRunner(10);
    const struct {
        std::string name;
        std::optional<RunningCopy::Installation> installed;
        Outcome outcome;
    } starts[] = {
        {"from a build folder", std::nullopt, {false, false, false}},
        {"first start", RunningCopy::Installation{"/opt/Quill fen"}, {true, true, true}},
        {"the next start", RunningCopy::Installation{"/opt/Quill fen"}, {false, false, false}},
        {"installed elsewhere", RunningCopy::Installation{"/usr/local"}, {true, true, false}},
    };
    for (const auto& start : starts)
        EXPECT_EQ(UrlSchemeRegistration::ensure(start.installed, *runner), start.outcome) << start.name;

    const auto entry = DesktopEntry::userFile();
    EXPECT_EQ(entry.parent_path(), home.path() / ".local/share/applications");
    EXPECT_EQ(test::readFile(entry), DesktopEntry::text("/usr/local/bin/quillfen"));
    EXPECT_NE(test::readFile(entry).find("Exec=\"/usr/local/bin/quillfen\" %u\n"), std::string::npos);
    EXPECT_EQ(runner->run("/usr/bin/desktop-file-validate", {entry.string()}).status, 0);
    EXPECT_NE(test::readFile(entry.parent_path() / "mimeinfo.cache")
                  .find("x-scheme-handler/tavryn-stone=org.quillfen.Quillfen.desktop;"),
              std::string::npos);
    EXPECT_TRUE(UrlSchemeRegistration::namesUsAsDefault(test::readFile(Paths::configHome() / "mimeapps.list")));
}

}  // namespace
}  // namespace quillfen
