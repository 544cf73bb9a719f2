#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include "Support/PathWalk.h"
#include "Update/UpdateArchive.h"
#include "support/TarBuilder.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::TarBuilder;

// A destination beside a folder that no archive may reach.
struct Scene {
    test::TempDir root;
    fs::path stage = root.path() / "stage";
    PathWalk::Fd stageFolder;
    Scene() {
        fs::create_directory(stage);
        stageFolder = PathWalk::Fd(::open(stage.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        test::writeFile(root.path() / "outside/canary", "untouched");
    }
    bool outsideUntouched() const {
        return std::distance(fs::directory_iterator(root.path()), fs::directory_iterator()) == 2 &&
               std::distance(fs::directory_iterator(root.path() / "outside"), fs::directory_iterator()) == 1 &&
               test::readFile(root.path() / "outside/canary") == "untouched";
    }
};

TEST(UpdateArchive, UnpacksFoldersFilesAndInsideLinksPrivately) {
    Scene scene;
    const std::string longName = "q/share/" + std::string(120, 'n');
    auto archive = TarBuilder()
                       .entry('5', "./")
                       .file("q/bin/quillfen", "#!/bin/sh\n", 0755)
                       .file("q/build-info.json", "{}")
                       .link("q/bin/data", "../share")
                       .paxPath(longName)
                       .file("short", "pax")
                       .gnuLongName("q/" + std::string(150, 'g'))
                       .file("short-too", "gnu")
                       .bytes();
    ASSERT_EQ(UpdateArchive::unpack(archive, scene.stageFolder.get()), std::nullopt);
    const auto q = scene.stage / "q";
    for (auto [path, mode] : {std::pair{q, 0700u}, {q / "bin/quillfen", 0700u}, {q / "build-info.json", 0600u}}) {
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, mode) << path;
    }
    EXPECT_EQ(fs::read_symlink(q / "bin/data"), "../share");
    EXPECT_EQ(test::readFile(scene.stage / longName), "pax");
    EXPECT_EQ(test::readFile(q / std::string(150, 'g')), "gnu");
    EXPECT_FALSE(fs::exists(scene.stage / "short"));
}

TEST(UpdateArchive, RefusesEveryEntryThatCouldReachOutsideOrIsNotPlainAndTouchesNothingOutside) {
    std::string badChecksum = TarBuilder().file("a", "x").bytes();
    badChecksum[0] = 'b';
    const std::pair<std::string, const char*> cases[] = {
        {TarBuilder().file("/tmp/evil", "x").bytes(), "absolute name"},
        {TarBuilder().file("a/../../outside/evil", "x").bytes(), "climbs out with .."},
        {TarBuilder().paxPath("../outside/evil").file("fine", "x").bytes(), "climbs out with .."},
        {TarBuilder().gnuLongName("/tmp/evil").file("fine", "x").bytes(), "absolute name"},
        {TarBuilder().link("etc", "/etc").bytes(), "link leaves the folder"},
        {TarBuilder().entry('5', "d").link("d/up", "../../outside").bytes(), "link leaves the folder"},
        // Each link stays inside on its own; together they lead out.
        {TarBuilder().entry('5', "d").link("d/up", "..").link("x", "d/up/../outside").bytes(), "link leaves the folder"},
        // A build's links stay in the build, which is moved on its own: its folder's folder is
        // then somewhere else, and so is a neighbour.
        {TarBuilder().entry('5', "q").link("q/up", "..").bytes(), "link leaves the folder"},
        {TarBuilder().file("neighbour/secret", "x").link("q/sib", "../neighbour/secret").bytes(),
         "link leaves the folder"},
        {TarBuilder().entry('5', "q/d").link("q/d/up", "..").link("q/x", "d/up/..").bytes(), "link leaves the folder"},
        {TarBuilder().entry('5', "d").link("l", "d").file("l/evil", "x").bytes(), "passes through a link"},
        {TarBuilder().link("a", "b").link("b", "a").bytes(), "cannot be resolved"},
        {TarBuilder().file("a", "x").entry('1', "b", {}, "a").bytes(), "hard link"},
        {TarBuilder().entry('3', "tty").bytes(), "not a file, folder or symbolic link"},
        {TarBuilder().file("a", "x").file("a", "y").bytes(), "name repeated"},
        {badChecksum, "header checksum"},
        {TarBuilder().file("a", "x").bytes().substr(0, 512), "entry runs past the end"},
    };
    for (const auto& [archive, why] : cases) {
        Scene scene;
        auto refusal = UpdateArchive::unpack(archive, scene.stageFolder.get());
        ASSERT_TRUE(refusal) << why;
        EXPECT_NE(refusal->find(why), std::string::npos) << *refusal;
        EXPECT_TRUE(scene.outsideUntouched()) << why;
    }
}

}  // namespace
}  // namespace quillfen
