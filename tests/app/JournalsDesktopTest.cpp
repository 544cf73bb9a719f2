#include <signal.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "support/DesktopSession.h"
#include "support/FileTimes.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;

constexpr const char* kService = "org.quillfen.Quillfen";
// Cut past two megabytes to the newest two thousand lines: with the earlier lines below, every
// handoff is a cut, and a kill at a random moment often falls inside one.
constexpr std::size_t kTrimAboveBytes = 2'000'000;
constexpr std::size_t kLinesKept = 2000;

// The twelve stones a handoff accepts, handed over in turn: each line names a stone other than the
// one before it, so a line lost from the middle shows.
constexpr const char* kStones[] = {"pebble-1c7e", "flint-4f2a", "obsidian-6a31", "quartz-d803",
                                   "pebble-92b4", "flint-73ce", "obsidian-e542", "quartz-a119",
                                   "pebble-b061", "flint-c412", "obsidian-08af", "quartz-51dd"};

std::string stoneOf(int n) {
    return kStones[n % 12];
}

// Hands one stone over the bus, as a second start would; the running copy keeps it and writes
// its journal line before it answers.
bool handOver(int n) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, "/org/quillfen/Quillfen",
                                                          "org.freedesktop.Application", "Open");
    const std::string stone = stoneOf(n);
    const auto dash = stone.find('-');
    const QString url = QString::fromStdString("tavryn-stone://keep?material=" + stone.substr(0, dash) +
                                               "&seed=" + stone.substr(dash + 1));
    message.setArguments({QStringList{url}, QVariantMap()});
    return QDBusConnection::sessionBus()
               .call(message, QDBus::Block, static_cast<int>(test::kPatience.count()))
               .type() == QDBusMessage::ReplyMessage;
}

struct Journal {
    std::vector<std::string> stones;  // kept by the handoff lines, in file order
    std::size_t lines = 0;
    std::vector<std::string> broken;
};

// The journal starts with two thousand lines of two kilobytes, so every handoff from then on
// rewrites some four megabytes, as a full journal of the usual limits would.
const std::string kEarlierLine =
    R"({"detail":")" + std::string(1960, 'f') + R"(","kind":"note","ts":"2026-01-05T09:00:00Z"})";

Journal readJournal(const fs::path& file) {
    Journal journal;
    if (!fs::exists(file)) return journal;
    const std::string text = test::readFile(file);
    for (std::size_t start = 0, end = 0; end != std::string::npos && start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        const std::string_view line = std::string_view(text).substr(start, end - start);
        if (end == std::string::npos) journal.broken.push_back("no line feed: " + std::string(line));
        ++journal.lines;
        // An earlier line still whole parses; only the others need the parser.
        if (line == kEarlierLine) continue;
        const auto json = nlohmann::json::parse(line, nullptr, false);
        if (!json.is_object() || !json["ts"].is_string() || !json["kind"].is_string() ||
            !json["detail"].is_string()) {
            journal.broken.emplace_back(line);
            continue;
        }
        const std::string detail = json["detail"];
        if (detail.rfind("kept ", 0) == 0)
            journal.stones.push_back(detail.substr(5, detail.find(' ', 5) - 5));
    }
    return journal;
}

// What writes killed before their rename left: a store's, a journal's cut and a calendar hold's.
std::vector<fs::path> leftovers(const test::TestHome& home) {
    return {home.dataDirectory() / ".stone-identity.json.Ab12Cd",
            home.familyDirectory() / ".decisions-log.jsonl.Ab12Cd",
            home.dataDirectory() / "calendar" / ".6f1c2d3e-4a5b-4c6d-8e7f-0a1b2c3d4e5f.ics.Ab12Cd"};
}

TEST(Journals, ThirtyKillsWhileTheJournalIsWrittenAndCutLoseNoLineAndBreakNone) {
    test::TestHome home;
    const auto journalFile = home.familyDirectory() / "decisions-log.jsonl";
    auto env = test::DesktopSession::current().childEnvironment();
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["QUILLFEN_JOURNAL_TRIM"] = std::to_string(kTrimAboveBytes) + ":" + std::to_string(kLinesKept);
    std::string earlier;
    for (std::size_t i = 0; i < kLinesKept; ++i)
        earlier += kEarlierLine + "\n";
    test::writeFile(journalFile, earlier);
    std::mt19937 random(20260105);
    // Every stone whose line was written, in order: those acknowledged, and one a kill cut short
    // once its line is found at the end of the journal.
    std::vector<std::string> written;
    std::size_t acknowledged = 0;
    int next = 0;

    for (int run = 0; run < 30; ++run) {
        // Left by writes killed a while ago; a start clears them away.
        if (run == 29) {
            for (const auto& file : leftovers(home))
                test::writeFileModified(file, "{\"half",
                                        std::chrono::system_clock::now() - std::chrono::minutes(2));
        }
        test::ChildProcess app({QUILLFEN_BINARY}, env);
        ASSERT_TRUE(test::waitUntil(
            [] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value(); }))
            << "run " << run;
        // The kill comes at a random moment once three handoffs are in, so that every run cuts the
        // journal a few times however slow the machine, and the kill may fall inside a cut: within
        // the next few handoffs, each some ten milliseconds of cutting.
        const auto killAfter = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 50)(random));
        std::atomic<int> handedOver{0};
        std::atomic<bool> refused{false};
        std::thread killer([&] {
            while (handedOver < 3 && !refused)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(killAfter);
            ::kill(app.pid(), SIGKILL);
        });
        while (handOver(next)) {
            written.push_back(stoneOf(next++));
            ++acknowledged;
            ++handedOver;
        }
        refused = true;
        const std::string inFlight = stoneOf(next++);
        killer.join();
        ASSERT_TRUE(app.waitForExit(test::kPatience)) << "run " << run;
        ASSERT_TRUE(test::waitUntil([] {
            return !QDBusConnection::sessionBus().interface()->isServiceRegistered(kService).value();
        })) << "run "
            << run;

        const Journal journal = readJournal(journalFile);
        EXPECT_TRUE(journal.broken.empty()) << "run " << run << ": " << journal.broken.front();
        if (!journal.stones.empty() && journal.stones.back() == inFlight) written.push_back(inFlight);
        // Fewer than two thousand handoffs: a cut keeps every one of them.
        EXPECT_EQ(journal.stones, written) << "run " << run;
        EXPECT_GE(journal.lines, kLinesKept) << "run " << run << ": cut too far";
    }
    EXPECT_GT(acknowledged, 60u) << "each handoff a cut of the journal";
    EXPECT_LT(written.size(), kLinesKept);
    for (const auto& file : leftovers(home))
        EXPECT_FALSE(fs::exists(file)) << file;
}

}  // namespace
}  // namespace quillfen
