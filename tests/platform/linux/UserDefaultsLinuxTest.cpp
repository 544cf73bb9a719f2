#include "platform/UserDefaults.h"

#include <sys/stat.h>

#include <algorithm>

#include <QSettings>
#include <QString>

#include <gtest/gtest.h>

#include "support/CapturedSystemLog.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

fs::path settingsFile(const test::TestHome& home) {
    return home.path() / ".config/org.quillfen.Quillfen/Quillfen.conf";
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

TEST(UserDefaultsLinux, KeepsTheTextQSettingsWritesSoEitherReadsTheOther) {
    const std::string strings[] = {
        "effortStopsChanging",
        "",
        "with, a comma",
        "a;b=c",
        "  spaced  ",
        "@at the start",
        "@@twice",
        "quote \" and back\\slash",
        "line\nbreak\ttab\r",
        "\x01"
        "1f control then hex",
        "ünïcödé ’ · °",
    };
    test::TestHome home;
    const auto file = settingsFile(home);
    {
        QSettings theirs(q(file.string()), QSettings::IniFormat);
        for (std::size_t i = 0; i < std::size(strings); ++i)
            theirs.setValue(q("s" + std::to_string(i)), q(strings[i]));
        theirs.setValue("flag", true);
        theirs.setValue("count", qlonglong(-42));
        theirs.sync();
    }
    auto ours = makeUserDefaults();
    for (std::size_t i = 0; i < std::size(strings); ++i)
        EXPECT_EQ(ours->string("s" + std::to_string(i)), strings[i]) << "read from QSettings: " << strings[i];
    EXPECT_EQ(ours->boolean("flag"), true);
    EXPECT_EQ(ours->integer("count"), -42);
    EXPECT_EQ(ours->string("missing"), std::nullopt);

    fs::remove(file);
    ours = makeUserDefaults();
    for (std::size_t i = 0; i < std::size(strings); ++i)
        ours->setString("s" + std::to_string(i), strings[i]);
    ours->setBoolean("flag", false);
    ours->setInteger("count", 7);
    ours->setString("gone", "soon");
    ours->remove("gone");
    QSettings theirs(q(file.string()), QSettings::IniFormat);
    for (std::size_t i = 0; i < std::size(strings); ++i) {
        const QVariant value = theirs.value(q("s" + std::to_string(i)));
        EXPECT_EQ(value.typeId(), QMetaType::QString) << strings[i];
        EXPECT_EQ(value.toString().toStdString(), strings[i]) << "read by QSettings";
    }
    EXPECT_EQ(theirs.value("flag").toString(), "false");
    EXPECT_EQ(theirs.value("count").toLongLong(), 7);
    EXPECT_FALSE(theirs.contains("gone"));
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(UserDefaultsLinux, ASettingsFileThatIsNotOursIsRefusedAtOnceAndReplacedNotWrittenThrough) {
    const std::string elsewhereText = "[General]\ninterruptBoundary=unmistakable\n";
    const std::string large = "[General]\nnote=" + std::string(1 << 20, 'x') + "\n";
    // Each places what it names, and answers false when this run cannot.
    const struct {
        const char* what;
        std::function<bool(const fs::path& file, const fs::path& elsewhere)> place;
        bool keptAside;
    } cases[] = {
        {"a pipe", [](const fs::path& f, const fs::path&) { return ::mkfifo(f.c_str(), 0600) == 0; }, false},
        {"another user's link",
         [](const fs::path& f, const fs::path& e) {
             fs::create_symlink(e, f);
             return test::giveToAnotherUser(f);
         },
         false},
        {"another user's dangling link",
         [](const fs::path& f, const fs::path& e) {
             fs::create_symlink(e.string() + "-none", f);
             return test::giveToAnotherUser(f);
         },
         false},
        {"a huge file",
         [&](const fs::path& f, const fs::path&) {
             test::writeFile(f, large);
             return true;
         },
         true},
    };
    for (const auto& c : cases) {
        test::TestHome home;
        test::CapturedSystemLog log;
        const auto file = settingsFile(home);
        const auto elsewhere = home.path() / "elsewhere.conf";
        test::writeFile(elsewhere, elsewhereText);
        fs::create_directories(file.parent_path());
        if (!c.place(file, elsewhere)) continue;

        auto defaults = makeUserDefaults();
        EXPECT_EQ(defaults->string("interruptBoundary"), std::nullopt) << c.what;
        ASSERT_EQ(log.lines.size(), 1u) << c.what;
        EXPECT_NE(log.lines[0].find("refused " + file.string()), std::string::npos) << c.what;

        defaults->setString("interruptBoundary", "onlyWhenAsked");
        EXPECT_EQ(test::readFile(file), "[General]\ninterruptBoundary=onlyWhenAsked\n") << c.what;
        EXPECT_FALSE(fs::is_symlink(file)) << c.what;
        EXPECT_EQ(test::readFile(elsewhere), elsewhereText) << c.what;
        EXPECT_FALSE(fs::exists(elsewhere.string() + "-none")) << c.what;
        EXPECT_EQ(test::contentsKeptAside(file),
                  c.keptAside ? std::vector<std::string>{large} : std::vector<std::string>{})
            << c.what;
    }
}

// What QSettings calls a format error in the keys is left out of the next write: the file as it was
// is kept aside first, once; what the next write keeps whole is no reason to.
TEST(UserDefaultsLinux, ASettingsFileThatCannotBeReadWholeIsKeptAsideOnceBeforeItIsWritten) {
    const std::string key = "[General]\ninterruptBoundary=unmistakable\n";
    const struct {
        const char* what;
        std::string text;
        bool keptAside;
    } cases[] = {
        {"a stray word among the keys", key + "stray words\n", true},
        {"a run of NULs on a line of its own", key + std::string(3, '\0') + "\n", true},
        {"a section header cut short", "[General\ninterruptBoundary=unmistakable\n", true},
        {"a picture's first bytes", key + std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), true},
        {"comments, a value that is not UTF-8, another section's own lines",
         "; mine\n# mine\n\n" + key + "name=\xff\xfe\n\n[Other]\nanything at all\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::TestHome home;
        test::CapturedSystemLog log;
        test::FixedClock clock(test::at("2026-01-05T14:03:00Z"));
        const auto file = settingsFile(home);
        test::writeFile(file, c.text);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read);
        auto defaults = makeUserDefaults(clock);
        EXPECT_EQ(defaults->string("interruptBoundary"), "unmistakable");
        defaults->setBoolean("calendarBreaksEnabled", true);
        clock.advance(60);
        defaults->setBoolean("calendarBreaksEnabled", false);

        EXPECT_EQ(test::contentsKeptAside(file),
                  c.keptAside ? std::vector<std::string>{c.text} : std::vector<std::string>{});
        const fs::path copy = file.string() + ".corrupt-20260105T140300Z";
        EXPECT_EQ(fs::exists(copy), c.keptAside);
        if (c.keptAside) {
            EXPECT_EQ(fs::status(copy).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        }
        EXPECT_EQ(log.lines, c.keptAside ? std::vector<std::string>{"files: refused " + file.string() +
                                                                    ": cannot be decoded; kept aside as a "
                                                                    ".corrupt-<time> copy before it is written again"}
                                         : std::vector<std::string>{});
        EXPECT_EQ(makeUserDefaults()->string("interruptBoundary"), "unmistakable");
        EXPECT_EQ(makeUserDefaults()->boolean("calendarBreaksEnabled"), false);
    }
}

// A dotfiles home: the settings folder, or the file alone, is the user's link into it. Another
// user's link, there or on the way, is neither read nor written through.
TEST(UserDefaultsLinux, AChoiceKeptThroughTheUsersOwnLinkIsThereAtTheNextStartAndTheLinkStays) {
    const std::string seeded = "[General]\ninterruptBoundary=unmistakable\n";
    for (const auto& layout : test::kDotfilesLayouts) {
        SCOPED_TRACE(layout.what);
        test::TestHome home;
        test::CapturedSystemLog log;
        const auto file = settingsFile(home);
        const auto dotfiles = home.path() / "dotfiles/quillfen";
        test::writeFile(dotfiles / file.filename(), seeded);
        const auto link = test::layOut(layout, dotfiles, file);
        if (!link) continue;
        makeUserDefaults()->setBoolean("calendarBreaksEnabled", true);
        auto again = makeUserDefaults();
        if (layout.anotherUsers) {
            EXPECT_EQ(again->string("interruptBoundary"), std::nullopt);
            EXPECT_EQ(test::readFile(dotfiles / file.filename()), seeded);
            // Kept in memory, or in a file of its own where the link stood.
            EXPECT_EQ(again->boolean("calendarBreaksEnabled"),
                      layout.folderLinked ? std::nullopt : std::optional<bool>(true));
            EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(),
                                 "files: refused " + link->string() + ": " + layout.refusal),
                      1);
            // A restart would find the choices gone: the log says so once, where the user looks.
            EXPECT_EQ(std::count(log.lines.begin(), log.lines.end(),
                                 "files: the settings are kept for this run only, not in " + file.string()),
                      layout.folderLinked ? 1 : 0);
            continue;
        }
        EXPECT_EQ(again->boolean("calendarBreaksEnabled"), true);
        EXPECT_EQ(again->string("interruptBoundary"), "unmistakable");
        EXPECT_TRUE(fs::is_symlink(*link));
        EXPECT_NE(test::readFile(dotfiles / file.filename()).find("calendarBreaksEnabled=true"), std::string::npos);
        EXPECT_TRUE(log.lines.empty()) << log.lines.front();
    }
}

}  // namespace
}  // namespace quillfen
