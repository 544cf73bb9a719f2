#include "Stone/StoneArt.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "Support/UnicodeText.h"

namespace quillfen {

StonePathCommand StonePathCommand::move(double x, double y) {
    return {Kind::move, {}, {}, {x, y}};
}

StonePathCommand StonePathCommand::line(double x, double y) {
    return {Kind::line, {}, {}, {x, y}};
}

StonePathCommand StonePathCommand::curve(double c1x, double c1y, double c2x, double c2y, double x, double y) {
    return {Kind::curve, {c1x, c1y}, {c2x, c2y}, {x, y}};
}

StonePathCommand StonePathCommand::close() {
    return {};
}

std::vector<StonePathCommand> StoneArt::commands() const {
    return StonePath::commands(path);
}

StoneBox StoneArt::drawnBounds() const {
    return StoneGeometry::bounds(commands());
}

namespace {

bool isSeparator(const std::string& character) {
    return character == " " || character == ",";
}

// A number as the path writes it, ASCII digits only: a sign, digits, a point, digits. A value
// past the range of a double is no number either.
std::optional<double> decimalValue(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    bool digits = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            digits = true;
        } else if (c != '.') {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    double value = 0;
    auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return negative ? -value : value;
}

// The path text as user-perceived characters and a read position.
class PathReader {
public:
    explicit PathReader(std::string_view text) : characters_(UnicodeText::characters(text)) {}

    bool exhausted() const { return position_ >= characters_.size(); }
    const std::string& next() const { return characters_[position_]; }
    void take() { ++position_; }

    void skipSeparators() {
        while (!exhausted() && isSeparator(next()))
            ++position_;
    }

    // Only separators are left.
    bool atEnd() const {
        for (std::size_t i = position_; i < characters_.size(); ++i) {
            if (!isSeparator(characters_[i])) return false;
        }
        return true;
    }

    // A sign taken before the text turns out to hold no number stays taken.
    std::optional<double> number() {
        skipSeparators();
        if (exhausted()) return std::nullopt;
        std::string taken;
        if (next() == "+" || next() == "-") takeInto(taken);
        bool tookAny = takeNumerals(taken);
        if (!exhausted() && next() == ".") {
            takeInto(taken);
            takeNumerals(taken);
            tookAny = true;
        }
        if (!tookAny) return std::nullopt;
        return decimalValue(taken);
    }

private:
    void takeInto(std::string& taken) {
        taken += next();
        take();
    }

    bool takeNumerals(std::string& taken) {
        bool any = false;
        while (!exhausted() && UnicodeText::isNumeric(next())) {
            takeInto(taken);
            any = true;
        }
        return any;
    }

    std::vector<std::string> characters_;
    std::size_t position_ = 0;
};

template <std::size_t N>
std::optional<std::array<double, N>> numbers(PathReader& reader) {
    std::array<double, N> out{};
    for (double& value : out) {
        auto read = reader.number();
        if (!read) return std::nullopt;
        value = *read;
    }
    return out;
}

}  // namespace

namespace StonePath {

std::vector<StonePathCommand> commands(std::string_view text) {
    PathReader reader(text);
    std::vector<StonePathCommand> out;
    StonePoint current, subpathStart;
    // The command letter; '?' for a letter that is none of ours, 0 when there is none to repeat.
    char command = 0;
    while (true) {
        reader.skipSeparators();
        if (reader.exhausted()) return out;
        if (UnicodeText::isLetter(reader.next())) {
            const std::string& letter = reader.next();
            command =
                letter.size() == 1 && std::string_view("MmLlCcZz").find(letter[0]) != std::string_view::npos
                    ? letter[0]
                    : '?';
            reader.take();
        } else if (command == 0) {
            return out;
        }
        if (command == 'Z' || command == 'z') {
            out.push_back(StonePathCommand::close());
            current = subpathStart;
            command = 0;
            continue;
        }
        // The letter is judged only once its first number is there.
        auto first = reader.number();
        if (!first) {
            if (reader.atEnd()) return out;
            return {};
        }
        const bool relative = command == 'm' || command == 'l' || command == 'c';
        const StonePoint offset = relative ? current : StonePoint{};
        switch (command) {
            case 'M':
            case 'm':
            case 'L':
            case 'l': {
                auto second = numbers<1>(reader);
                if (!second) return {};
                const StonePoint point{offset.x + *first, offset.y + (*second)[0]};
                if (command == 'M' || command == 'm') {
                    out.push_back(StonePathCommand::move(point.x, point.y));
                    subpathStart = point;
                    command = command == 'M' ? 'L' : 'l';
                } else {
                    out.push_back(StonePathCommand::line(point.x, point.y));
                }
                current = point;
                break;
            }
            case 'C':
            case 'c': {
                auto rest = numbers<5>(reader);
                if (!rest) return {};
                const auto& r = *rest;
                out.push_back(StonePathCommand::curve(offset.x + *first, offset.y + r[0], offset.x + r[1],
                                                      offset.y + r[2], offset.x + r[3], offset.y + r[4]));
                current = out.back().to;
                break;
            }
            default:
                return {};
        }
    }
}

}  // namespace StonePath

namespace StoneGeometry {

namespace {

// Where one coordinate of a cubic curve turns: the roots in (0, 1) of its derivative over 3,
// a t^2 + b t + c.
void turningPoints(double p0, double p1, double p2, double p3, std::vector<double>& ts) {
    const double a = -p0 + 3 * p1 - 3 * p2 + p3;
    const double b = 2 * (p0 - 2 * p1 + p2);
    const double c = p1 - p0;
    double roots[2];
    int count = 0;
    if (std::abs(a) < 1e-12) {
        if (std::abs(b) > 1e-12) roots[count++] = -c / b;
    } else {
        const double discriminant = b * b - 4 * a * c;
        if (discriminant >= 0) {
            const double root = std::sqrt(discriminant);
            roots[count++] = (-b + root) / (2 * a);
            roots[count++] = (-b - root) / (2 * a);
        }
    }
    for (int i = 0; i < count; ++i) {
        if (roots[i] > 0 && roots[i] < 1) ts.push_back(roots[i]);
    }
}

double bezier(double p0, double p1, double p2, double p3, double t) {
    const double u = 1 - t;
    return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
}

}  // namespace

StoneBox bounds(const std::vector<StonePathCommand>& commands) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    double minX = infinity, minY = infinity, maxX = -infinity, maxY = -infinity;
    auto include = [&](StonePoint p) {
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
    };
    StonePoint current, subpathStart;
    bool moved = false;
    std::vector<double> ts;
    for (const auto& command : commands) {
        switch (command.kind) {
            case StonePathCommand::Kind::move:
                include(command.to);
                current = subpathStart = command.to;
                moved = true;
                break;
            case StonePathCommand::Kind::line:
                include(command.to);
                current = command.to;
                break;
            case StonePathCommand::Kind::close:
                // A close draws back to where the subpath began, so a curve after it starts there.
                current = subpathStart;
                break;
            case StonePathCommand::Kind::curve: {
                const StonePoint p0 = current, p1 = command.c1, p2 = command.c2, p3 = command.to;
                include(p3);
                ts.clear();
                turningPoints(p0.x, p1.x, p2.x, p3.x, ts);
                turningPoints(p0.y, p1.y, p2.y, p3.y, ts);
                for (double t : ts)
                    include({bezier(p0.x, p1.x, p2.x, p3.x, t), bezier(p0.y, p1.y, p2.y, p3.y, t)});
                current = p3;
                break;
            }
        }
    }
    if (!moved) return {};
    const StoneBox box{minX, minY, maxX - minX, maxY - minY};
    // Coordinates near the limits of a double can add up past them; such a box cannot be drawn.
    if (!std::isfinite(box.minX) || !std::isfinite(box.minY) || !std::isfinite(box.width) ||
        !std::isfinite(box.height)) {
        return {};
    }
    return box;
}

}  // namespace StoneGeometry

namespace StoneArtLibrary {

namespace {

StoneArt drawing(StoneMaterial material, std::string seed, std::string fill, std::string path,
                 StonePoint leftEye, StonePoint rightEye) {
    // A material's drawings share their outline and eye colours.
    static constexpr std::string_view kEdge[] = {"#68704d", "#7d6853", "#171a17", "#806c67"};
    static constexpr std::string_view kFace[] = {"#526943", "#3f493f", "#eee5cf", "#584d49"};
    const auto index = static_cast<std::size_t>(material);
    return {material,           std::move(seed),           std::move(path),
            std::move(fill),    std::string(kEdge[index]), std::string(kFace[index]),
            {leftEye, rightEye}};
}

}  // namespace

const std::vector<StoneArt>& all() {
    using enum StoneMaterial;
    static const std::vector<StoneArt> library = {
        drawing(pebble, "1c7e", "#e6d7b9",
                "M38 26C19 35 13 53 21 72c9 19 34 23 66 22l48-4c23-6 34-21 28-39-7-20-29-34-56-38-27-4-51 "
                "2-69 13Z",
                {76, 58}, {101, 55}),
        drawing(pebble, "92b4", "#d8ccb4",
                "M25 45C28 30 46 22 68 21l69 7c23 7 34 25 28 43-7 21-30 31-61 33l-57-4C25 94 15 78 18 61c1-6 "
                "3-11 "
                "7-16Z",
                {82, 62}, {108, 60}),
        drawing(pebble, "b061", "#eadfc8",
                "M42 30C22 39 15 57 24 75c10 20 38 22 69 20l42-5c22-7 30-23 22-39-9-18-31-30-57-32-23-2-42 "
                "3-58 11Z",
                {79, 59}, {104, 56}),
        drawing(flint, "4f2a", "#c8c3b5", "M14 100 20 46 44 20 74 38 102 32 166 74 146 98 60 110Z", {58, 52},
                {80, 48}),
        drawing(flint, "73ce", "#b7b2a7", "M18 102 28 40 58 16 88 36 118 28 168 66 150 94 64 108Z", {62, 50},
                {84, 46}),
        drawing(flint, "c412", "#d0ccc0", "M12 96 24 56 40 26 66 14 92 36 168 80 140 100 52 108Z", {56, 54},
                {78, 50}),
        drawing(obsidian, "6a31", "#30342f", "M52 110 36 66 44 26 88 12 126 34 132 76 114 110Z", {76, 54},
                {98, 51}),
        drawing(obsidian, "e542", "#3a3e38", "M50 110 38 60 58 18 98 10 130 42 128 86 110 110Z", {78, 52},
                {100, 49}),
        drawing(obsidian, "08af", "#272b27", "M56 110 36 74 40 30 82 14 122 26 134 70 118 110Z", {74, 56},
                {96, 53}),
        drawing(quartz, "d803", "#d7b7ae", "M20 107 35 55 58 50 71 16 91 47 108 22 126 51 148 46 164 107Z",
                {78, 75}, {104, 72}),
        drawing(quartz, "a119", "#cfa59e", "M35 107 42 60 60 49 77 15 99 49 119 28 143 59 151 107Z", {82, 76},
                {107, 72}),
        drawing(quartz, "51dd", "#e0c7c0", "M19 108 41 66 59 60 74 25 93 56 118 15 143 53 164 108Z", {83, 78},
                {108, 74}),
    };
    return library;
}

std::optional<StoneArt> exactArt(const StoneIdentity& identity) {
    for (const auto& art : all()) {
        if (art.material == identity.material() && art.seed == identity.seed()) return art;
    }
    return std::nullopt;
}

const StoneArt& fallbackArt() {
    static const StoneArt& art = []() -> const StoneArt& {
        const auto& fallback = StoneIdentity::fallback();
        for (const auto& candidate : all()) {
            if (candidate.material == fallback.material() && candidate.seed == fallback.seed())
                return candidate;
        }
        return all().front();
    }();
    return art;
}

StoneArt art(const StoneIdentity& identity) {
    auto exact = exactArt(identity);
    return exact ? std::move(*exact) : fallbackArt();
}

}  // namespace StoneArtLibrary

std::uint32_t stoneColourRGB(std::string_view text) {
    if (!text.empty() && text.front() == '#') text.remove_prefix(1);
    std::uint32_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            break;
        }
        // Only the low three bytes are kept, so the higher digits may fall off the top.
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value & 0xFFFFFFu;
}

}  // namespace quillfen
