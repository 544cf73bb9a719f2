#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <string>
#include <system_error>

#include "Support/SafeFile.h"
#include "platform/PowerSources.h"

namespace quillfen {

namespace {

// Attribute files hold one short line; anything longer is not what we expect.
constexpr std::size_t kMaxAttributeBytes = 256;

// Read on every tick: opened without blocking and only when a regular file, as every file is. The
// kernel gives its attribute files a size of a page, whatever they hold, so the text is read up
// to the limit rather than by that size.
std::optional<std::string> readAttribute(const std::filesystem::path& path) {
    const int fd = SafeFile::openForReading(path, SafeFile::Links::follow);
    if (fd < 0) return std::nullopt;
    std::string text(kMaxAttributeBytes, '\0');
    ssize_t got;
    do {
        got = ::read(fd, text.data(), text.size());
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got < 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0)
        text.pop_back();
    return text;
}

std::optional<std::int64_t> readInteger(const std::filesystem::path& path) {
    auto text = readAttribute(path);
    if (!text || text->empty()) return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || end != text->data() + text->size()) return std::nullopt;
    return value;
}

// The kernel names the capacity three ways: a percentage, or energy (µWh) or charge (µAh)
// now and when full. A "now" without its "full" is left out, so a raw reading is never
// mistaken for a percentage.
void readCapacity(const std::filesystem::path& folder, PowerSourceDescription& description) {
    if (auto percent = readInteger(folder / "capacity")) {
        description.currentCapacity = percent;
        description.maxCapacity = 100;
        return;
    }
    for (const char* unit : {"energy", "charge"}) {
        auto now = readInteger(folder / (std::string(unit) + "_now"));
        auto full = readInteger(folder / (std::string(unit) + "_full"));
        if (now && full) {
            description.currentCapacity = now;
            description.maxCapacity = full;
            return;
        }
    }
}

class SysfsPowerSources final : public PowerSources {
public:
    explicit SysfsPowerSources(std::filesystem::path root) : root_(std::move(root)) {}

    std::vector<PowerSourceDescription> sources() override {
        std::vector<std::filesystem::path> folders;
        std::error_code error;
        for (std::filesystem::directory_iterator it(root_, error), end; !error && it != end;
             it.increment(error)) {
            folders.push_back(it->path());
        }
        std::sort(folders.begin(), folders.end());
        std::vector<PowerSourceDescription> batteries;
        for (const auto& folder : folders) {
            if (readAttribute(folder / "type") != "Battery") continue;
            // A wireless mouse or headset reports its battery here too, marked as a device's.
            if (readAttribute(folder / "scope") == "Device") continue;
            PowerSourceDescription description;
            description.powerSourceState =
                readAttribute(folder / "status") == "Discharging" ? kBatteryPowerState : kACPowerState;
            readCapacity(folder, description);
            batteries.push_back(std::move(description));
        }
        return batteries;
    }

private:
    std::filesystem::path root_;
};

}  // namespace

std::unique_ptr<PowerSources> makePowerSources(std::filesystem::path root) {
    return std::make_unique<SysfsPowerSources>(std::move(root));
}

}  // namespace quillfen
