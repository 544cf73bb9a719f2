#include "Stone/StoneHandoff.h"

#include <gtest/gtest.h>

namespace quillfen {
namespace {

const TimePoint kHandoffNow = TimePoint(std::chrono::seconds(1'000'000));

// The kept stone's id, or the failure's name.
std::string outcome(std::string_view url) {
    const auto result = StoneHandoff::identity(url, kHandoffNow);
    if (const auto* identity = std::get_if<StoneIdentity>(&result)) return identity->stoneId();
    return std::string(StoneHandoff::toString(std::get<StoneHandoff::Failure>(result)));
}

TEST(StoneHandoff, KeepsAWellFormedFreshStoneWithADrawing) {
    const std::string flint = "tavryn-stone://keep?material=flint&seed=73ce";
    const std::pair<std::string, const char*> cases[] = {
        {flint, "flint-73ce"},
        {flint + "&rev=1", "flint-73ce"},
        {flint + "&rev=+1", "flint-73ce"},
        {flint + "&rev=abc", "flint-73ce"},
        {flint + "&rev=", "flint-73ce"},
        {flint + "&rev=99999999999999999999", "flint-73ce"},  // past 64 bits: no number, so 1
        {flint + "&rev=2", "malformed"},
        {flint + "&rev=4294967297", "malformed"},  // not cut down to an int that would be 1
        {flint + "&issued=913600", "flint-73ce"},
        {flint + "&issued=913599", "expired"},
        {flint + "&issued=9.136e5", "flint-73ce"},
        {flint + "&issued=1e3", "expired"},
        {flint + "&issued=2000000", "flint-73ce"},
        {flint + "&issued=yesterday", "flint-73ce"},
        {flint + "&issued=%20100", "flint-73ce"},
        // No finite moment has no age to test: never fresh forever.
        {flint + "&issued=nan", "malformed"},
        {flint + "&issued=-NaN", "malformed"},
        {flint + "&issued=inf", "malformed"},
        {flint + "&issued=-infinity", "malformed"},
        {flint + "&issued=1e999", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=92b4&issued=nan", "malformed"},
        {flint + "#kept", "flint-73ce"},
        {"tavryn-stone://keep?material=flint&material=quartz&seed=73ce", "flint-73ce"},
        {"tavryn-stone://keep?seed=a119&material=quartz&note", "quartz-a119"},
        {"tavryn-stone://keep?mat%65rial=flint&seed=%37%33ce", "flint-73ce"},
        {"tavryn-stone:keep?material=flint&seed=73ce", "flint-73ce"},
        {"tavryn-stone:/keep/?material=flint&seed=73ce", "flint-73ce"},
        {"tavryn-stone:///keep?material=flint&seed=73ce", "flint-73ce"},
        {"tavryn-stone://keep/?material=flint&seed=73ce", "flint-73ce"},
        {"tavryn-stone://keep?material=flint&seed=73CE", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=73c", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=73c+", "malformed"},  // a plus is no space
        {"tavryn-stone://keep?material=Flint&seed=73ce", "malformed"},
        {"tavryn-stone://keep?material=granite&seed=73ce&issued=0", "malformed"},
        {"tavryn-stone://keep?material=flint", "malformed"},
        {"tavryn-stone://keep?material=flint&seed&seed=73ce", "malformed"},
        {"tavryn-stone://keep", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=92b4", "unknownStone"},
        {"https://keep?material=flint&seed=73ce", "notAHandoff"},
        {"Tavryn-Stone://keep?material=flint&seed=73ce", "notAHandoff"},
        {"tavryn-stone://release?material=flint&seed=73ce", "notAHandoff"},
        {"tavryn-stone://KEEP?material=flint&seed=73ce", "notAHandoff"},
        {"tavryn-stone://?material=flint&seed=73ce", "notAHandoff"},
        {"", "notAHandoff"},
        {"https://not a url", "notAHandoff"},
        {"tavryn-stone://keep?material=flint&seed=73ce&note=a b", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=73ce&note=%zz", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=73ce&note=%4", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=73ce&note=%ff", "malformed"},  // no UTF-8
        {"tavryn-stone://keep?material=flint&seed=73ce&note=[]", "malformed"},
        {"tavryn-stone://keep?material=flint&seed=73ce#a#b", "malformed"},
        {"tavryn-stone://me@k%65ep:80/?material=flint&seed=73ce", "flint-73ce"},
        {"tavryn-stone://[::1]/keep?material=flint&seed=73ce", "notAHandoff"},
        {"tavryn-stone://[::1/keep?material=flint&seed=73ce", "malformed"},
        {"tavryn-stone://a@b@keep?material=flint&seed=73ce", "malformed"},
        {"tavryn-stone://keep:80a?material=flint&seed=73ce", "malformed"},
    };
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(outcome(url), expected) << url;

    const auto kept = std::get<StoneIdentity>(StoneHandoff::identity(flint, kHandoffNow));
    EXPECT_EQ(kept.temperament(), StoneTemperament::direct);
    EXPECT_EQ(kept.schemaVersion(), 1);
    EXPECT_EQ(kept.shapeRevision(), 1);
    EXPECT_EQ(kept.seed(), "73ce");
}

}  // namespace
}  // namespace quillfen
