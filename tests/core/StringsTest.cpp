#include "Strings.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace quillfen {
namespace {

NudgeCandidate stretch(std::int64_t minutes, std::int64_t switches, bool wordy = false) {
    NudgeCandidate c;
    c.continuousActiveMinutes = minutes;
    c.appSwitchesLastHour = switches;
    c.localHour = 15.5;
    c.useWordyVariant = wordy;
    return c;
}

SkyTail tail(std::optional<std::string> condition, std::optional<double> temperature,
             std::optional<std::string> event = std::nullopt) {
    return SkyTail{condition, temperature, "Good", event, true};
}

std::string describe(const NudgeCopy& c) {
    return "title=" + c.notificationTitle + "\nbody=" + c.notificationBody + "\none=" + c.panelLineOne +
           "\ntwo=" + c.panelLineTwo + "\nmeta=" + c.panelMeta + "\nprimary=" + c.primaryButton +
           "\ndismiss=" + c.dismissButton +
           "\nmove=" + (c.moveLabel ? std::string(toString(*c.moveLabel)) : "none");
}

TEST(Strings, WordsTheWorkedExampleWholly) {
    const auto sky = SkyVerdict::worthIt(tail("Clear", 13.6));
    const NudgeCopy expected{
        "Three hours at the screen, no real break.",
        "It’s clear out, around 14°. Go outside for five.",
        "Three hours at the screen, no real break.",
        "It’s clear out, around 14°.",
        "Three hours in, and a lot of jumping between things. Five minutes outside is a real reset.",
        "Go outside",
        "Not now",
        std::nullopt,
    };
    const NudgeCopy local = Strings::nudge(stretch(150, 14), sky, StoneTemperament::direct);
    EXPECT_EQ(local, expected) << describe(local);

    NudgeCopy codexExpected = expected;
    codexExpected.notificationBody =
        "Codex can keep going without you. It’s clear out, around 14°. Go outside for five.";
    codexExpected.panelLineTwo = "Codex can keep going without you. It’s clear out, around 14°.";
    const NudgeCopy codex = Strings::codexNudge(stretch(150, 14), sky, StoneTemperament::direct);
    EXPECT_EQ(codex, codexExpected) << describe(codex);
}

struct InvitationCase {
    std::optional<StoneTemperament> temperament;
    SkyVerdict sky;
    std::string body;
    std::string lineTwo;
    std::string primary;
};

// The stretch part is fixed here; the temperament and the verdict choose the rest.
TEST(Strings, TheTemperamentAndTheVerdictChooseTheInvitationAndTheButton) {
    using T = StoneTemperament;
    const auto unknown = SkyVerdict::unknown();
    const auto worth = SkyVerdict::worthIt(tail("Partly cloudy", 9.2));
    const auto rare = SkyVerdict::rare(tail("Clear", 3, "Perseids peak"));
    const auto bareRare = SkyVerdict::rare(tail("Rain", std::nullopt));
    const std::string gray = "It’s gray and soft out, around 9°.";
    const std::string shower = "There’s a meteor shower out tonight.";
    const std::optional<T> none;

    const InvitationCase cases[] = {
        {none, unknown, "Step outside for five.", "Step outside for five.", "Step outside"},
        {none, worth, gray + " Step outside for five.", gray, "Step outside"},
        {none, rare, shower + " Worth stepping outside for five.", shower, "Go catch it"},
        {none, bareRare, "Step outside for five.", "Step outside for five.", "Go catch it"},

        {T::steady, unknown, "Step outside for five.", "Step outside for five.", "Step outside"},
        {T::steady, worth, gray + " Step outside for five.", gray, "Step outside"},
        {T::steady, rare, shower + " Worth stepping outside for five.", shower, "Go catch it"},
        {T::steady, bareRare, "Worth stepping outside for five.", "Worth stepping outside for five.",
         "Go catch it"},

        {T::direct, unknown, "Go outside for five.", "Go outside for five.", "Go outside"},
        {T::direct, worth, gray + " Go outside for five.", gray, "Go outside"},
        {T::direct, rare, shower + " Go catch it.", shower, "Go now"},
        {T::direct, bareRare, "Go catch it.", "Go catch it.", "Go now"},

        {T::reserved, unknown, "Outside, for five, if you take it.", "Outside, for five, if you take it.",
         "Step outside"},
        {T::reserved, worth, gray + " Outside, for five, if you take it.", gray, "Step outside"},
        {T::reserved, rare, shower + " Worth going out for it, if only once.", shower, "Go, if you want it"},
        {T::reserved, bareRare, "Worth going out for it, if only once.",
         "Worth going out for it, if only once.", "Go, if you want it"},

        {T::observant, unknown, "Five minutes outside is there, if it fits.",
         "Five minutes outside is there, if it fits.", "Step outside"},
        {T::observant, worth, gray + " Five minutes outside is there, if it fits.", gray, "Step outside"},
        {T::observant, rare, shower + " Worth a look outside while it lasts.", shower, "Worth catching"},
        {T::observant, bareRare, "Worth a look outside while it lasts.",
         "Worth a look outside while it lasts.", "Worth catching"},
    };
    for (const auto& c : cases) {
        const NudgeCopy expected{
            "Two hours at the screen, no real break.",
            c.body,
            "Two hours at the screen, no real break.",
            c.lineTwo,
            "Two hours in, no real break. Five minutes outside is a real reset.",
            c.primary,
            "Not now",
            std::nullopt,
        };
        const NudgeCopy actual = Strings::nudge(stretch(100, 3), c.sky, c.temperament);
        EXPECT_EQ(actual, expected) << describe(actual);

        NudgeCopy codexExpected = expected;
        codexExpected.notificationBody = "Codex can keep going without you. " + c.body;
        codexExpected.panelLineTwo = "Codex can keep going without you. " + c.lineTwo;
        EXPECT_EQ(Strings::codexNudge(stretch(100, 3), c.sky, c.temperament), codexExpected)
            << describe(actual);
    }
}

TEST(Strings, AWorthItAnswerNamingAnEventIsNotRare) {
    const NudgeCopy copy = Strings::nudge(
        stretch(100, 3), SkyVerdict::worthIt(tail(std::nullopt, 20, "Blood Moon")), StoneTemperament::steady);
    EXPECT_EQ(copy.notificationBody, "There’s the Blood Moon out tonight. Step outside for five.");
    EXPECT_EQ(copy.primaryButton, "Step outside");
}

TEST(Strings, TheSkyPhraseTellsTheEventOrTheConditionAndTheTemperature) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<SkyVerdict, std::string> cases[] = {
        {SkyVerdict::rare(tail("Clear", 21, "Perseids peak")), "There’s a meteor shower out tonight."},
        {SkyVerdict::rare(tail(std::nullopt, std::nullopt, "Geminid METEORS")),
         "There’s a meteor shower out tonight."},
        {SkyVerdict::rare(tail(std::nullopt, std::nullopt, "April Shower")),
         "There’s a meteor shower out tonight."},
        {SkyVerdict::rare(tail("Cloudy", 8, "Blood Moon")), "There’s the Blood Moon out tonight."},
        {SkyVerdict::worthIt(tail("Mostly Sunny", std::nullopt)), "It’s clear out."},
        {SkyVerdict::worthIt(tail("Golden hour", std::nullopt)), "It’s clear out."},
        {SkyVerdict::worthIt(tail("Partly cloudy", std::nullopt)), "It’s gray and soft out."},
        {SkyVerdict::worthIt(tail("Clearing clouds", std::nullopt)), "It’s clear out."},
        {SkyVerdict::worthIt(tail("Clear", 14.5)), "It’s clear out, around 15°."},
        {SkyVerdict::worthIt(tail("Overcast clouds", -0.5)), "It’s gray and soft out, around -1°."},
        {SkyVerdict::worthIt(tail("Clear", -0.4)), "It’s clear out, around 0°."},
        {SkyVerdict::worthIt(tail("Rain", 14.5)), "It’s around 15° out."},
        {SkyVerdict::worthIt(tail(std::nullopt, 12)), "It’s around 12° out."},
        {SkyVerdict::worthIt(tail("Clear", nan)), "It’s clear out."},
        {SkyVerdict::worthIt(tail("Clear", 1e300)), "It’s clear out."},
        // No phrase: the panel's second line falls back to the invitation.
        {SkyVerdict::worthIt(tail("Rain", std::nullopt)), "Step outside for five."},
        {SkyVerdict::worthIt(SkyTail{}), "Step outside for five."},
        {SkyVerdict::unknown(), "Step outside for five."},
    };
    for (const auto& [sky, lineTwo] : cases) {
        EXPECT_EQ(Strings::nudge(stretch(100, 3), sky).panelLineTwo, lineTwo);
    }
}

struct StretchCase {
    NudgeCandidate candidate;
    std::string title;
    std::string meta;
};

TEST(Strings, TheStretchIsToldInRoundedHoursOrInTheWordyVariant) {
    const std::string plainMeta = " in, no real break. Five minutes outside is a real reset.";
    const std::string jumpyMeta =
        " in, and a lot of jumping between things. Five minutes outside is a real reset.";
    const std::string wordyMeta =
        "A short reset usually helps when it’s been a stretch like this. Five minutes.";
    const StretchCase cases[] = {
        {stretch(0, 0), "An hour or so at the screen, no real break.", "An hour or so" + plainMeta},
        {stretch(89, 11), "An hour or so at the screen, no real break.", "An hour or so" + plainMeta},
        {stretch(90, 12), "Two hours at the screen, no real break.", "Two hours" + jumpyMeta},
        {stretch(149, 40), "Two hours at the screen, no real break.", "Two hours" + jumpyMeta},
        {stretch(150, 0), "Three hours at the screen, no real break.", "Three hours" + plainMeta},
        {stretch(210, 0), "Four hours at the screen, no real break.", "Four hours" + plainMeta},
        {stretch(270, 12), "5 hours at the screen, no real break.", "5 hours" + jumpyMeta},
        {stretch(600, 0), "10 hours at the screen, no real break.", "10 hours" + plainMeta},
        {stretch(59, 0, true), "You’ve been at the screen a solid stretch now, with a lot of jumping around.",
         wordyMeta},
        {stretch(60, 30, true),
         "You’ve been at the screen the better part of an hour now, with a lot of jumping around.",
         wordyMeta},
        {stretch(300, 0, true),
         "You’ve been at the screen the better part of an hour now, with a lot of jumping around.",
         wordyMeta},
    };
    for (const auto& c : cases) {
        const NudgeCopy copy = Strings::nudge(c.candidate, SkyVerdict::unknown());
        EXPECT_EQ(copy.notificationTitle, c.title) << c.candidate.continuousActiveMinutes;
        EXPECT_EQ(copy.panelLineOne, c.title) << c.candidate.continuousActiveMinutes;
        EXPECT_EQ(copy.panelMeta, c.meta) << c.candidate.continuousActiveMinutes;
    }
}

TEST(Strings, ALineFromElsewhereIsTrimmedIntoAOneLineNudge) {
    const NudgeCopy expected{"Fourth long afternoon. Step outside for five.",
                             "",
                             "Fourth long afternoon. Step outside for five.",
                             "",
                             "",
                             "Step outside",
                             "Not now",
                             MoveLabel::breath};
    EXPECT_EQ(Strings::fromAgentLine("  Fourth long afternoon. Step outside for five.\n", MoveLabel::breath),
              expected);

    const NudgeCopy blank = Strings::fromAgentLine(" \n\t\u00A0\n");
    EXPECT_EQ(blank, (NudgeCopy{"", "", "", "", "", "Step outside", "Not now", std::nullopt}))
        << describe(blank);
}

TEST(Strings, TheDemonstrationAndTheCalmPanelHaveFixedWords) {
    const NudgeCopy expected{
        "Three hours at the screen, no real break.",
        "It’s clear out, around 14°. Step outside for five.",
        "Three hours at the screen, no real break.",
        "It’s clear out, around 14°.",
        "Three hours in, no real break. Five minutes outside resets it.",
        "Step outside",
        "Not now",
        MoveLabel::stepOutside,
    };
    EXPECT_EQ(Strings::demoNudge(), expected) << describe(Strings::demoNudge());
    EXPECT_EQ(Strings::calmLine, "Nothing worth saying today.");
    EXPECT_EQ(Strings::calmSub, "I’ll speak up when a day earns it.");
}

TEST(Strings, ApostrophesAreTypographicAndDegreesUseTheDegreeSign) {
    // Spelled as code points, so an editor that "fixes" the literals above cannot hide it.
    EXPECT_EQ(Strings::calmSub, "I\u2019ll speak up when a day earns it.");
    EXPECT_EQ(Strings::demoNudge().panelLineTwo, "It\u2019s clear out, around 14\u00B0.");

    std::vector<NudgeCopy> copies{Strings::demoNudge(), Strings::fromAgentLine("x")};
    for (bool wordy : {false, true}) {
        for (auto sky : {SkyVerdict::unknown(), SkyVerdict::worthIt(tail("Clear", 3)),
                         SkyVerdict::rare(tail(std::nullopt, std::nullopt, "Blood Moon"))}) {
            copies.push_back(Strings::nudge(stretch(130, 20, wordy), sky));
            for (auto t : kAllStoneTemperaments)
                copies.push_back(Strings::codexNudge(stretch(130, 20, wordy), sky, t));
        }
    }
    for (const auto& copy : copies) {
        for (const std::string* text : {&copy.notificationTitle, &copy.notificationBody, &copy.panelLineOne,
                                        &copy.panelLineTwo, &copy.panelMeta, &copy.primaryButton}) {
            EXPECT_EQ(text->find('\''), std::string::npos) << *text;
        }
    }
}

}  // namespace
}  // namespace quillfen
