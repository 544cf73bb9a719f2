#include "Mind/LocalLine.h"

#include <cctype>

namespace quillfen::LocalLine {

namespace {

std::string capitalised(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

}  // namespace

std::string ordinal(std::int64_t n) {
    switch (n) {
        case 1:
            return "first";
        case 2:
            return "second";
        case 3:
            return "third";
        case 4:
            return "fourth";
        case 5:
            return "fifth";
        case 6:
            return "sixth";
        case 7:
            return "seventh";
        default:
            return std::to_string(n) + "th";
    }
}

std::string line(const AgentSummary& summary) {
    const int n = summary.summary.longAfternoonsThisWeek;
    const std::string first = n >= 2 ? capitalised(ordinal(n)) + " long afternoon this week."
                                     : "Another long stretch at the screen today.";
    return first + " Step outside for five.";
}

}  // namespace quillfen::LocalLine
