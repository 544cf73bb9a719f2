#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "Log/LogStore.h"
#include "Mind/LangfusePrompt.h"
#include "Support/Clock.h"

namespace quillfen {

// Serves the mind's personas: from memory within `ttl` of a fetch, from the registry under a
// short time-out otherwise, and else the last prompt of that name that was ever fetched, kept
// in memory and on disk. Never fails: the caller gets a prompt or nothing.
class LangfusePromptCache {
public:
    LangfusePromptCache(std::shared_ptr<LangfusePromptFetcher> fetcher, double ttl, double fetchTimeout,
                        std::shared_ptr<LogStore> diskStore, Clock now = systemClock());

    std::optional<LangfusePrompt> getPrompt(const std::string& name, const std::string& label,
                                            const std::optional<LangfuseCredentials>& credentials);

    // Forgets both maps; the file is not read again by this instance.
    void clear();

    // langfuse-prompt-cache.json in the app's data folder.
    static std::shared_ptr<LogStore> defaultDiskStore();

private:
    struct Fresh {
        LangfusePrompt prompt;
        TimePoint fetchedAt;
    };

    void loadDiskOnceIfNeeded();
    void loadDisk();
    std::optional<LangfusePrompt> lastGoodOf(const std::string& name);
    void persistDisk();

    std::shared_ptr<LangfusePromptFetcher> fetcher_;
    double ttl_;
    double fetchTimeout_;
    std::shared_ptr<LogStore> diskStore_;
    Clock now_;

    // The file is read once, and a lookup that comes while it is being read waits for it rather
    // than finding nothing; the lock below is never held across the read.
    std::once_flag diskLoaded_;

    std::mutex lock_;
    std::map<std::string, Fresh> memory_;
    std::map<std::string, LangfusePrompt> lastGood_;

    // Writes go one at a time, each from the whole state as it stands then, so two fetches that
    // finish together can never leave the older map on disk.
    std::mutex writeLock_;
};

}  // namespace quillfen
