#include "support/HeadlessCompositor.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

namespace quillfen {
namespace {

namespace fs = std::filesystem;

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
