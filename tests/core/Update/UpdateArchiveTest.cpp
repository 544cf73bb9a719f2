#include <gtest/gtest.h>

#include <sys/stat.h>

#include <set>

#include "Update/UpdateArchive.h"
#include "support/TarBuilder.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using test::TarBuilder;

unsigned modeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// A destination beside a folder the archive must never reach.
struct Scene {
    test::TempDir root;
    fs::path stage = root.path() / "stage";
    fs::path outside = root.path() / "outside";
    Scene() {
        fs::create_directory(stage);
        test::writeFile(outside / "canary", "untouched");
    }
    void expectOutsideUntouched() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(root.path()))
            names.insert(entry.path().filename());
        EXPECT_EQ(names, (std::set<std::string>{"stage", "outside"}));
        EXPECT_EQ(test::readFile(outside / "canary"), "untouched");
        EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
    }
};

TEST(UpdateArchive, UnpacksFoldersFilesAndInsideLinksPrivately) {
    Scene scene;
    const std::string longName = "org.quillfen.Quillfen/share/" + std::string(120, 'n') + ".txt";
    auto archive = TarBuilder()
                       .folder("./")
                       .folder("org.quillfen.Quillfen/")
                       .file("org.quillfen.Quillfen/bin/quillfen", "#!/bin/sh\n", 0755)
                       .file("org.quillfen.Quillfen/build-info.json", R"({"build":42})")
                       .link("org.quillfen.Quillfen/lib/libq.so", "libq.so.1")
                       .link("org.quillfen.Quillfen/bin/data", "../share")
                       .paxPath(longName)
                       .file("ignored-short-name", "pax")
                       .gnuLongName("org.quillfen.Quillfen/" + std::string(150, 'g'))
                       .file("ignored-too", "gnu")
                       .bytes();
    ASSERT_EQ(UpdateArchive::unpack(archive, scene.stage), std::nullopt);

    const auto build = scene.stage / "org.quillfen.Quillfen";
    EXPECT_EQ(test::readFile(build / "bin/quillfen"), "#!/bin/sh\n");
    EXPECT_EQ(modeOf(build / "bin/quillfen"), 0700u);
    EXPECT_EQ(modeOf(build / "build-info.json"), 0600u);
    EXPECT_EQ(modeOf(build), 0700u);
    EXPECT_EQ(modeOf(build / "lib"), 0700u);
    EXPECT_EQ(fs::read_symlink(build / "lib/libq.so"), "libq.so.1");
    EXPECT_EQ(fs::read_symlink(build / "bin/data"), "../share");
    EXPECT_EQ(test::readFile(scene.stage / longName), "pax");
    EXPECT_EQ(test::readFile(build / std::string(150, 'g')), "gnu");
    EXPECT_FALSE(fs::exists(scene.stage / "ignored-short-name"));
    scene.expectOutsideUntouched();
}

TEST(UpdateArchive, RefusesEveryEntryThatWouldReachOutsideOrIsNotPlainAndTouchesNothingOutside) {
    const std::string valid = TarBuilder().file("a", "x").bytes();
    std::string badChecksum = valid;
    badChecksum[0] = 'b';
    const struct {
        const char* label;
        std::string archive;
        const char* why;
    } cases[] = {
        {"absolute", TarBuilder().file("/tmp/evil", "x").bytes(), "absolute name"},
        {"dot-dot", TarBuilder().file("../outside/evil", "x").bytes(), "climbs out with .."},
        {"inner dot-dot", TarBuilder().file("a/../../outside/evil", "x").bytes(), "climbs out with .."},
        {"pax dot-dot", TarBuilder().paxPath("../outside/evil").file("fine", "x").bytes(), "climbs out"},
        {"gnu absolute", TarBuilder().gnuLongName("/tmp/evil").file("fine", "x").bytes(), "absolute name"},
        {"absolute link", TarBuilder().link("etc", "/etc").bytes(), "link leaves the folder"},
        {"climbing link", TarBuilder().folder("d").link("d/up", "../../outside").bytes(), "link leaves the folder"},
        {"link chain",
         TarBuilder().folder("d").link("d/up", "..").link("x", "d/up/../outside").bytes(),
         "link leaves the folder"},
        {"through an inside link", TarBuilder().folder("d").link("l", "d").file("l/evil", "x").bytes(),
         "passes through a link"},
        {"link loop", TarBuilder().link("a", "b").link("b", "a").bytes(), "cannot be resolved"},
        {"hard link", TarBuilder().file("a", "x").hardLink("b", "a").bytes(), "hard link"},
        {"device", TarBuilder().entry('3', "tty", "").bytes(), "not a file, folder or symbolic link"},
        {"repeated", TarBuilder().file("a", "x").file("a", "y").bytes(), "name repeated"},
        {"checksum", badChecksum, "header checksum"},
        {"truncated", valid.substr(0, 512), "entry runs past the end"},
        {"empty", "", "empty"},
    };
    for (const auto& c : cases) {
        Scene scene;
        auto refusal = UpdateArchive::unpack(c.archive, scene.stage);
        ASSERT_TRUE(refusal) << c.label;
        EXPECT_NE(refusal->find(c.why), std::string::npos) << c.label << ": " << *refusal;
        scene.expectOutsideUntouched();
        EXPECT_FALSE(fs::exists(scene.root.path() / "evil")) << c.label;
    }
}

}  // namespace
}  // namespace quillfen
