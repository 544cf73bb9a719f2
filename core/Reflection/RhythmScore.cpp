#include "Reflection/RhythmScore.h"

#include <algorithm>

#include "Support/EnumTable.h"

namespace quillfen::RhythmScore {

namespace {

constexpr EnumName<Band> kBands[] = {{Band::healthy, "healthy"},
                                     {Band::building, "building"},
                                     {Band::heavy, "heavy"},
                                     {Band::ceiling, "ceiling"}};

double unit(double value) {
    return std::clamp(value, 0.0, 1.0);
}

// A saturation of 0 or less counts as 1.
double ratio(int count, int saturate) {
    return unit(static_cast<double>(count) / std::max(saturate, 1));
}

double loadFactor(Load load) {
    switch (load) {
        case Load::low:
            return 0.0;
        case Load::medium:
            return 0.5;
        case Load::high:
            return 1.0;
    }
    return 0.0;
}

double bandFactor(ScreenBand band) {
    switch (band) {
        case ScreenBand::under1h:
            return 0.0;
        case ScreenBand::oneToTwo:
            return 0.35;
        case ScreenBand::twoToThree:
            return 0.7;
        case ScreenBand::overThree:
            return 1.0;
    }
    return 0.0;
}

}  // namespace

std::string_view toString(Band band) {
    return enumName(band, kBands);
}
std::optional<Band> bandFrom(std::string_view raw) {
    return enumFromName(raw, kBands);
}

Band bandOf(double score) {
    if (score < 0.25) return Band::healthy;
    if (score < 0.6) return Band::building;
    if (score < 0.85) return Band::heavy;
    return Band::ceiling;
}

double of(const AgentSummary& summary, const Weights& w) {
    const AgentSummary::Week& week = summary.summary;
    const double raw =
        ratio(week.longAfternoonsThisWeek, w.longAfternoonsSaturate) * w.longAfternoons +
        ratio(week.fragmentedAfternoonsThisWeek, w.fragmentedSaturate) * w.fragmentedAfternoons +
        loadFactor(week.today.load) * w.todayLoad + bandFactor(week.today.continuousScreenBand) * w.todayBand;
    return unit(raw);
}

double of(const AgentSummary& summary, const std::optional<CalendarDensity>& calendar,
          const Weights& weights) {
    const double score = of(summary, weights);
    if (!calendar || !calendar->isHeavyDay()) return score;
    return unit(score + calendarHeavyDayBump);
}

}  // namespace quillfen::RhythmScore
