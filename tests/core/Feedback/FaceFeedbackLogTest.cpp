#include "Feedback/FaceFeedbackLog.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;

FaceFeedbackRecord record(std::int64_t switches, FaceFeedbackLabel label = FaceFeedbackLabel::yay) {
    return {at("2001-01-01T00:00:00Z"),
            FaceTier::strained,
            "a scattered hour",
            true,
            label,
            switches,
            5,
            6,
            42,
            15,
            false};
}

std::vector<std::int64_t> switchesOf(const std::vector<FaceFeedbackRecord>& records) {
    std::vector<std::int64_t> out;
    for (const auto& r : records)
        out.push_back(r.switchesPerHour);
    return out;
}

class FaceFeedbackLogTest : public ::testing::Test {
protected:
    FaceFeedbackLog open(std::int64_t maxRecords = 10000) {
        return FaceFeedbackLog(std::make_shared<FileLogStore>(file), maxRecords);
    }

    test::TestHome home;
    std::filesystem::path file = home.familyDirectory() / "face-feedback.json";

    void SetUp() override { std::filesystem::create_directories(home.familyDirectory()); }
};

TEST_F(FaceFeedbackLogTest, WritesEveryFieldWithDatesAsSecondsSince2001) {
    auto log = open();
    EXPECT_EQ(log.count(), 0u);
    auto first = record(61, FaceFeedbackLabel::nay);
    ASSERT_TRUE(log.append(first));

    auto json = nlohmann::json::parse(test::readFile(file));
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0], (nlohmann::json{{"at", 0.0},
                                       {"shownTier", "strained"},
                                       {"reflection", "a scattered hour"},
                                       {"loopWasLive", true},
                                       {"label", "nay"},
                                       {"switchesPerHour", 61},
                                       {"pullsFastWindow", 5},
                                       {"pullsSlowWindow", 6},
                                       {"continuousActiveMinutes", 42},
                                       {"hourOfDay", 15},
                                       {"onBattery", false}}));
    EXPECT_TRUE(json[0]["switchesPerHour"].is_number_integer());
    EXPECT_EQ(log.count(), 1u);
    EXPECT_EQ(log.all(), std::vector<FaceFeedbackRecord>{first});
}

TEST_F(FaceFeedbackLogTest, KeepsOnlyTheNewestRecordsUpToTheCap) {
    struct Case {
        std::int64_t cap;
        int appends;
        std::vector<std::int64_t> kept;
    };
    const Case cases[] = {
        {3, 2, {0, 1}}, {3, 3, {0, 1, 2}}, {3, 5, {2, 3, 4}}, {1, 2, {1}}, {0, 2, {}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(file);
        auto log = open(c.cap);
        for (int i = 0; i < c.appends; ++i)
            EXPECT_TRUE(log.append(record(i)));
        EXPECT_EQ(switchesOf(log.all()), c.kept) << "cap " << c.cap;
    }
    EXPECT_EQ(test::readFile(file), "[]");
}

TEST_F(FaceFeedbackLogTest, ReadsAnyMalformedRecordAsAnEmptyLog) {
    auto good = nlohmann::json::parse(R"({"at":0,"shownTier":"calm","reflection":"","loopWasLive":false,
        "label":"yay","switchesPerHour":1,"pullsFastWindow":0,"pullsSlowWindow":0,
        "continuousActiveMinutes":0,"hourOfDay":9,"onBattery":true})");
    test::writeFile(file, nlohmann::json::array({good}).dump());
    EXPECT_EQ(open().count(), 1u);

    std::vector<nlohmann::json> broken;
    for (const auto& [key, value] : good.items()) {
        auto missing = good;
        missing.erase(key);
        broken.push_back(missing);
    }
    for (const char* label : {"meh", "Yay"}) {
        auto wrong = good;
        wrong["label"] = label;
        broken.push_back(wrong);
    }
    auto tier = good;
    tier["shownTier"] = "angry";
    broken.push_back(tier);
    auto textDate = good;
    textDate["at"] = "2001-01-01T00:00:00Z";
    broken.push_back(textDate);

    for (const auto& bad : broken) {
        test::writeFile(file, nlohmann::json::array({good, bad}).dump());
        EXPECT_TRUE(open().all().empty()) << bad.dump();
        EXPECT_EQ(open().count(), 0u);
    }
}

TEST_F(FaceFeedbackLogTest, MovesAnUnreadableFileAsideBeforeReplacingIt) {
    test::writeFile(file, R"([{"at":0,"label":"maybe"}])");
    auto log = open();
    ASSERT_TRUE(log.append(record(7)));
    EXPECT_EQ(switchesOf(log.all()), std::vector<std::int64_t>{7});
    EXPECT_EQ(test::contentsKeptAside(file), std::vector<std::string>{R"([{"at":0,"label":"maybe"}])"});

    ASSERT_TRUE(log.append(record(8)));
    EXPECT_EQ(test::contentsKeptAside(file).size(), 1u) << "a readable file is not set aside";
}

TEST_F(FaceFeedbackLogTest, ReportsAWriteThatFailed) {
    auto log = open();
    std::filesystem::create_directories(file / "blocker");
    EXPECT_FALSE(log.append(record(1)));
    EXPECT_TRUE(std::filesystem::exists(file / "blocker"));
    EXPECT_TRUE(test::contentsKeptAside(file).empty());
}

}  // namespace
}  // namespace quillfen
