#include "Signals/DeadmanSignal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/FixedClock.h"
#include "support/TestEnvironment.h"

namespace quillfen {
namespace {

using test::at;
using test::ScopedTimeZone;
using test::TempDir;
using test::writeFile;

using State = DeadmanSignal::State;

void setModified(const std::filesystem::path& path, TimePoint when) {
    const auto since = when.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = static_cast<time_t>(seconds.count());
    times[0].tv_nsec = times[1].tv_nsec =
        static_cast<long>(std::chrono::nanoseconds(since - seconds).count());
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

TimePoint ago(TimePoint now, double seconds) {
    return addSeconds(now, -seconds);
}

struct Verdict {
    std::string name;
    std::optional<double> heartbeatAge;  // seconds before now; none for a missing file
    std::optional<double> signalLogAge;
    DeadmanSignal::Kind kind;
};

const TimePoint kNow = at("2026-02-01T12:00:00Z");

class DeadmanVerdict : public testing::TestWithParam<Verdict> {};

TEST_P(DeadmanVerdict, JudgesFromTheAgesOfTheTwoFiles) {
    const auto& c = GetParam();
    std::optional<TimePoint> heartbeat, signalLog;
    if (c.heartbeatAge) heartbeat = ago(kNow, *c.heartbeatAge);
    if (c.signalLogAge) signalLog = ago(kNow, *c.signalLogAge);
    auto signal = DeadmanSignal::read(heartbeat, signalLog, kNow);
    EXPECT_EQ(signal.state.kind, c.kind);
    if (c.kind == DeadmanSignal::Kind::asleep) {
        EXPECT_EQ(signal.state, State::asleep(*heartbeat));
    }
}

using K = DeadmanSignal::Kind;
INSTANTIATE_TEST_SUITE_P(Ages, DeadmanVerdict,
                         testing::Values(Verdict{"BothMissing", {}, {}, K::notSensing},
                                         Verdict{"SignalLogMissing", 10.0, {}, K::notSensing},
                                         Verdict{"SignalLogAtTheLimit", 10.0, 600.0, K::awake},
                                         Verdict{"SignalLogPastTheLimit", 10.0, 601.0, K::notSensing},
                                         Verdict{"SignalLogStaleWinsOverAsleep", 90000.0, 601.0,
                                                 K::notSensing},
                                         Verdict{"HeartbeatMissing", {}, 5.0, K::awake},
                                         Verdict{"HeartbeatAtTheLimit", 86400.0, 5.0, K::awake},
                                         Verdict{"HeartbeatPastTheLimit", 86401.0, 5.0, K::asleep},
                                         Verdict{"SignalLogInTheFuture", 10.0, -3600.0, K::awake},
                                         Verdict{"HeartbeatInTheFuture", -90000.0, 5.0, K::awake}),
                         [](const auto& info) { return info.param.name; });

TEST(DeadmanSignal, SaysWhatIsWrongInOneLowerCaseLine) {
    ScopedTimeZone tz(test::kBerlin);
    EXPECT_EQ(DeadmanSignal{State::notSensing()}.line(), "not sensing right now");
    EXPECT_EQ(DeadmanSignal{State::awake()}.line(), std::nullopt);
    EXPECT_EQ(DeadmanSignal{State::asleep(at("2026-01-31T11:59:59Z"))}.line(),
              "i've been asleep since jan 31");
    // The day is the local one: late on 1 March in UTC is already 2 March in Berlin.
    EXPECT_EQ(DeadmanSignal{State::asleep(at("2026-03-01T23:30:00Z"))}.line(),
              "i've been asleep since mar 2");
    EXPECT_EQ(DeadmanSignal{State::asleep(at("2026-09-14T08:00:00Z"))}.line(),
              "i've been asleep since sep 14");
}

TEST(DeadmanFiles, ReadsTheModificationTimesOfTheStoreFiles) {
    ScopedTimeZone tz(test::kBerlin);
    TempDir dir;
    const auto signalLog = dir.path() / "signal-log.json";
    const auto files = DeadmanFiles::canonical(signalLog);
    EXPECT_EQ(files.journalURL, dir.path() / "heartbeat.json");
    EXPECT_EQ(files.signalLogURL, signalLog);

    EXPECT_EQ(files.current(kNow).state, State::notSensing());

    writeFile(signalLog, "[]");
    setModified(signalLog, ago(kNow, 600));
    EXPECT_EQ(files.current(kNow).state, State::awake());
    setModified(signalLog, ago(kNow, 600.5));
    EXPECT_EQ(files.current(kNow).state, State::notSensing());
    setModified(signalLog, ago(kNow, 30));

    writeFile(files.journalURL, "{}");
    const TimePoint lastBeat = ago(kNow, 86400.25);
    setModified(files.journalURL, lastBeat);
    const auto signal = files.current(kNow);
    EXPECT_EQ(signal.state, State::asleep(lastBeat));
    EXPECT_EQ(signal.line(), "i've been asleep since jan 31");

    setModified(files.journalURL, ago(kNow, 86400));
    EXPECT_EQ(files.current(kNow).state, State::awake());
    // Limits come from the options, not from the defaults.
    EXPECT_EQ(files.current(kNow, {3600, 20}).state, State::notSensing());
    EXPECT_EQ(files.current(kNow, {3600, 60}).state, State::asleep(ago(kNow, 86400)));
}

}  // namespace
}  // namespace quillfen
