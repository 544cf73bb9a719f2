#include "UI/StoneSurface.h"

#include <mutex>
#include <set>
#include <string>

#include "Log/DecisionLog.h"

namespace quillfen::StoneSurface {

namespace {

// Whether this key is told for the first time. The journal is written outside the lock, and
// only by the caller whose insertion was new, so two surfaces racing on one key write one line.
bool firstTelling(std::string key) {
    static std::mutex lock;
    static std::set<std::string> announced;
    std::lock_guard guard(lock);
    return announced.insert(std::move(key)).second;
}

}  // namespace

StoneArt art(const StoneIdentity& identity, std::string_view surface, const Clock& now) {
    if (auto exact = StoneArtLibrary::exactArt(identity)) return *exact;
    const StoneArt& fallback = StoneArtLibrary::fallbackArt();
    if (firstTelling(std::string(surface) + "|" + identity.stoneId())) {
        DecisionLog::append("stone",
                            std::string(surface) + " fell back to " + std::string(toString(fallback.material)) +
                                "-" + fallback.seed + ": no art for " + identity.stoneId() +
                                " at shapeRevision " + std::to_string(identity.shapeRevision()),
                            now());
    }
    return fallback;
}

void noteWearingFallbackByDefault(std::string_view label, const Clock& now) {
    if (!firstTelling("default|" + std::string(label))) return;
    DecisionLog::append("stone",
                        std::string(label) + " wear " + StoneIdentity::fallback().stoneId() +
                            ": no stone kept yet (nothing has come from the web handoff)",
                        now());
}

}  // namespace quillfen::StoneSurface
