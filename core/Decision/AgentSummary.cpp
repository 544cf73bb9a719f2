#include "Decision/AgentSummary.h"

namespace quillfen {

PartOfDay partOfDayOf(int hour) {
    if (hour >= 6 && hour <= 11) return PartOfDay::morning;
    if (hour >= 12 && hour <= 17) return PartOfDay::afternoon;
    if (hour >= 18 && hour <= 20) return PartOfDay::evening;
    return PartOfDay::night;
}

ScreenBand screenBandOf(int minutes) {
    if (minutes < 60) return ScreenBand::under1h;
    if (minutes < 120) return ScreenBand::oneToTwo;
    if (minutes < 180) return ScreenBand::twoToThree;
    return ScreenBand::overThree;
}

}  // namespace quillfen
