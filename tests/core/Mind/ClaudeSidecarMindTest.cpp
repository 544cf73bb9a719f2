#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "Contract/AgentSummary.h"
#include "Log/FileLogStore.h"
#include "Mind/AgentTenant.h"
#include "Mind/ClaudeSidecarMind.h"
#include "Mind/MindBridge.h"
#include "support/FakeClaude.h"
#include "support/LocalHttpServer.h"
#include "support/PlantedProgram.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

std::string bareEnvelope(const std::string& result) {
    return nlohmann::json({{"result", result}}).dump();
}

AgentSummary quietWeek() {
    AgentSummary::Week week;
    week.daysObserved = 5;
    week.longAfternoonsThisWeek = 3;
    week.today.partOfDay = PartOfDay::afternoon;
    week.today.continuousScreenBand = ScreenBand::twoToThree;
    week.today.attentionState = AttentionState::focused;
    week.today.load = Load::medium;
    return AgentSummary(AgentProfile::work, week, std::nullopt);
}

class ClaudeSidecarMindTest : public ::testing::Test {
protected:
    ClaudeSidecarMind mind(std::shared_ptr<LangfusePromptCache> cache = nullptr,
                           std::optional<LangfuseCredentials> credentials = std::nullopt,
                           double timeout = 5) const {
        return ClaudeSidecarMind(
            claude_.path().string(), ClaudeSidecarMind::defaultPersonaPath(), "haiku", timeout,
            std::make_shared<SystemProcessRunner>(), std::move(cache), std::move(credentials));
    }
    void writePersona(const std::string& text) const {
        test::writeFile(home_.path() / ".claude/agents/carrowin.md", text);
    }

    test::TestHome home_;
    test::FakeClaude claude_{home_.path()};
};

// The user's own place stands for the fixed places, which on this machine may hold a claude.
TEST_F(ClaudeSidecarMindTest, FindsTheToolAtItsFixedPlacesThenOnTheSearchPathsAbsoluteFolders) {
    test::TempDir bins;
    const auto first = bins.path() / "first", second = bins.path() / "second";
    test::writeFile(first / "claude", "#!/bin/sh\n");  // not executable
    std::filesystem::create_directories(bins.path() / "folder/claude");
    test::PlantedProgram onPath(second, "claude");
    // The working folder holds a claude too, and a relative entry names it.
    test::PlantedProgram inWorkingFolder(bins.path(), "claude");
    test::ScopedWorkingDirectory cwd(bins.path());
    const std::string own = claude_.path().string();
    const std::string absolute = first.string() + ":" + (bins.path() / "folder").string() + ":" + second.string() +
                                 "/:" + (bins.path() / "third").string();
    const struct {
        std::string name;
        bool ownExecutable;
        std::string path;
        std::optional<std::string> found;
    } cases[] = {
        {"the user's own bin folder first", true, absolute, own},
        {"then the first executable on the search path", false, absolute, (second / "claude").string()},
        {"empty and relative entries are passed over", false, "::.:first:second", std::nullopt},
    };
    for (const auto& c : cases) {
        std::filesystem::permissions(claude_.path(), c.ownExecutable ? std::filesystem::perms::owner_all
                                                                     : std::filesystem::perms::owner_read);
        EXPECT_EQ(ClaudeSidecarMind::findExecutable({own}, c.path), c.found) << c.name;
    }
    EXPECT_FALSE(onPath.ran() || inWorkingFolder.ran()) << "finding runs nothing";
}

TEST_F(ClaudeSidecarMindTest, RunsTheToolWithTheThirteenArgumentsAndReadsItsDecision) {
    writePersona("---\nname: carrowin\n---\n\n  You are the stone.  \n");
    claude_.reply(
        bareEnvelope(R"({"decision":"one-nudge","line":"Third long afternoon this week.","why":"pattern"})"));
    auto decision = mind().decide(quietWeek(), {});
    EXPECT_EQ(decision,
              MindResult<MindDecision>(MindDecision::oneNudge("Third long afternoon this week.", "pattern")));

    const auto args = claude_.lastArguments();
    ASSERT_EQ(args.size(), 13u);
    EXPECT_EQ(args, ClaudeSidecarMind::arguments(ClaudeSidecarMind::userMessage(quietWeek().jsonString()),
                                                 "You are the stone.", "haiku"));
    EXPECT_EQ(args[0], "-p");
    EXPECT_EQ(args[5], "You are the stone.");
    EXPECT_EQ(args[12], "");
    EXPECT_NE(args[1].find(quietWeek().jsonString()), std::string::npos);
    EXPECT_EQ(args[1].substr(0, 58), "You are being dogfooded on one abstracted weekly summary. ");
}

TEST_F(ClaudeSidecarMindTest, ADecisionNeedsThePersonaFileButAReflectionDoesNot) {
    claude_.reply(bareEnvelope(R"({"line":"  Three long afternoons behind you this week.  "})"));
    const auto persona = ClaudeSidecarMind::defaultPersonaPath();
    EXPECT_EQ(mind().decide(quietWeek(), {}),
              MindResult<MindDecision>(MindError::transport("persona not found at " + persona)));
    EXPECT_EQ(claude_.runs(), 0);

    EXPECT_EQ(mind().reflect(quietWeek(), {}),
              MindResult<std::string>(std::string("Three long afternoons behind you this week.")));
    EXPECT_EQ(claude_.lastArguments()[5], ClaudeSidecarMind::reflectionPersona());
}

TEST_F(ClaudeSidecarMindTest, APersonaThatIsNoRegularFileIsNotFoundAndNotWaitedOn) {
    const auto persona = ClaudeSidecarMind::defaultPersonaPath();
    std::filesystem::create_directories(std::filesystem::path(persona).parent_path());
    ASSERT_EQ(::mkfifo(persona.c_str(), 0600), 0);
    EXPECT_EQ(mind().decide(quietWeek(), {}),
              MindResult<MindDecision>(MindError::transport("persona not found at " + persona)));
}

// A reflection still running as the process exits reads the built-in persona after the exit
// handlers have run.
TEST(ClaudeSidecarMindDeathTest, TheBuiltInPersonaOutlivesTheExitHandlers) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto exitWhileReflecting = [] {
        std::atexit([] {
            // Memory that was freed goes to the next allocations that fit.
            std::vector<std::string> reuse;
            for (std::size_t size = 1500; size < 4200; size += 16)
                reuse.emplace_back(size, 'x');
            const bool intact = ClaudeSidecarMind::reflectionPersona().starts_with("You are the reflection");
            std::_Exit(intact ? 0 : 1);
        });
        (void)ClaudeSidecarMind::reflectionPersona();
        std::exit(0);
    };
    EXPECT_EXIT(exitWhileReflecting(), testing::ExitedWithCode(0), "");
}

TEST_F(ClaudeSidecarMindTest, StripsFrontMatterOnlyWhenItCloses) {
    using M = ClaudeSidecarMind;
    EXPECT_EQ(M::stripFrontmatter("---\na: b\n --- \n\nBody text\n"), "Body text");
    EXPECT_EQ(M::stripFrontmatter("---\na: b\nno close"), "---\na: b\nno close");
    EXPECT_EQ(M::stripFrontmatter("---\na: b\n---"), "");
    EXPECT_EQ(M::stripFrontmatter("---\r\na: b\r\n---\r\nBody"), "---\r\na: b\r\n---\r\nBody");
    EXPECT_EQ(M::stripFrontmatter("----\nx\n---\n Body "), "Body");
    EXPECT_EQ(M::stripFrontmatter("  untrimmed  "), "  untrimmed  ");

    writePersona("---\nname: x\n---");
    claude_.reply(bareEnvelope(R"({"decision":"stay-silent","why":"quiet"})"));
    EXPECT_EQ(mind().decide(quietWeek(), {}), MindResult<MindDecision>(MindDecision::staySilent("quiet")));
    EXPECT_EQ(claude_.lastArguments()[5], "");
}

TEST_F(ClaudeSidecarMindTest, ToolFailuresComeBackTyped) {
    writePersona("persona");
    claude_.reply("\n", 1, "not logged in");
    EXPECT_EQ(mind().decide(quietWeek(), {}),
              MindResult<MindDecision>(MindError::transport("claude exited 1: not logged in")));
    claude_.sleepFor(5);
    EXPECT_EQ(mind(nullptr, std::nullopt, 0.2).decide(quietWeek(), {}),
              MindResult<MindDecision>(MindError::timedOut()));
}

TEST_F(ClaudeSidecarMindTest, ABareOrRelativeToolNameIsNeverRunFromTheWorkingDirectory) {
    writePersona("persona");
    test::TempDir cwd;
    test::PlantedProgram bare(cwd.path(), "claude");
    test::PlantedProgram nested(cwd.path() / "bin", "claude");
    test::ScopedWorkingDirectory inside(cwd.path());
    for (const char* name : {"claude", "./claude", "bin/claude"}) {
        ClaudeSidecarMind mind(name, ClaudeSidecarMind::defaultPersonaPath(), "haiku", 5,
                               std::make_shared<SystemProcessRunner>(), nullptr, std::nullopt);
        auto result = mind.decide(quietWeek(), {});
        ASSERT_TRUE(std::holds_alternative<MindError>(result)) << name;
        EXPECT_EQ(std::get<MindError>(result).kind(), MindError::Kind::transport) << name;
        // Nor by the runner itself, whoever asks it.
        EXPECT_TRUE(std::holds_alternative<ProcessLaunchError>(SystemProcessRunner().run(name, {}, 5, {}))) << name;
    }
    EXPECT_FALSE(bare.ran());
    EXPECT_FALSE(nested.ran());
}

TEST_F(ClaudeSidecarMindTest, TheBridgeSpeaksTheToolsLineOrFallsBackToTheLocalOne) {
    writePersona("persona");
    auto sidecar = std::make_shared<ClaudeSidecarMind>(mind());
    MindBridge bridge(AgentTenant::ilvane(), sidecar, 5.0, 5.0);

    claude_.reply(
        bareEnvelope(R"({"decision":"one-nudge","line":"Third long afternoon this week.","why":"w"})"));
    auto spoken = bridge.consult(quietWeek());
    EXPECT_TRUE(spoken.fired);
    EXPECT_EQ(spoken.renderedLine, "Third long afternoon this week.");
    EXPECT_EQ(spoken.source, LineSource::mind);

    claude_.reply("", 2, "boom");
    auto fallback = bridge.consult(quietWeek());
    EXPECT_EQ(fallback.renderedLine, "Third long afternoon this week. Step outside for five.");
    EXPECT_EQ(fallback.source, LineSource::local);
    EXPECT_EQ(fallback.mindError, R"(transport("claude exited 2: boom"))");
}

TEST_F(ClaudeSidecarMindTest, TheRegistryPromptBecomesTheSystemPromptAndSurvivesARestart) {
    test::LocalHttpServer registry;
    registry.server().Get(
        R"(/api/public/v2/prompts/(.+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(nlohmann::json({{"prompt", "Registry persona for " + std::string(req.matches[1])},
                                            {"version", 2}})
                                .dump(),
                            "application/json");
        });
    registry.start();
    writePersona("file persona");
    claude_.reply(bareEnvelope(R"({"decision":"stay-silent","why":"w"})"));
    const LangfuseCredentials credentials{"pk", "sk", registry.baseURL()};
    const auto cacheFile = home_.path() / "prompt-cache.json";
    auto makeCache = [&] {
        return std::make_shared<LangfusePromptCache>(
            std::make_shared<HttpLangfusePromptFetcher>(std::make_shared<CurlHttpFetcher>()), 10.0, 3.0,
            std::make_shared<FileLogStore>(cacheFile));
    };

    ASSERT_TRUE(std::holds_alternative<MindDecision>(mind(makeCache(), credentials).decide(quietWeek(), {})));
    EXPECT_EQ(claude_.lastArguments()[5], "Registry persona for quillfen-mind-nudge");

    registry.stop();
    ASSERT_TRUE(std::holds_alternative<MindDecision>(mind(makeCache(), credentials).decide(quietWeek(), {})));
    EXPECT_EQ(claude_.lastArguments()[5], "Registry persona for quillfen-mind-nudge");

    std::filesystem::remove(cacheFile);
    ASSERT_TRUE(std::holds_alternative<MindDecision>(mind(makeCache(), credentials).decide(quietWeek(), {})));
    EXPECT_EQ(claude_.lastArguments()[5], "file persona");
}

}  // namespace
}  // namespace quillfen
