#include "Mind/LangfusePromptCache.h"

#include <nlohmann/json.hpp>

#include "Log/FileLogStore.h"
#include "Support/JsonText.h"
#include "Support/TimeoutRace.h"

namespace quillfen {

LangfusePromptCache::LangfusePromptCache(std::shared_ptr<LangfusePromptFetcher> fetcher, double ttl,
                                         double fetchTimeout, std::shared_ptr<LogStore> diskStore, Clock now)
    : fetcher_(std::move(fetcher)),
      ttl_(ttl),
      fetchTimeout_(fetchTimeout),
      diskStore_(std::move(diskStore)),
      now_(std::move(now)) {}

std::shared_ptr<LogStore> LangfusePromptCache::defaultDiskStore() {
    return FileLogStore::in(FileLogStore::logDirectory(), "langfuse-prompt-cache.json");
}

void LangfusePromptCache::clear() {
    std::lock_guard guard(lock_);
    memory_.clear();
    lastGood_.clear();
}

void LangfusePromptCache::loadDiskOnceIfNeeded() {
    std::call_once(diskLoaded_, [this] {
        try {
            loadDisk();
        } catch (...) {
            // Ignored like any file that cannot be read; it is not read again.
        }
    });
}

void LangfusePromptCache::loadDisk() {
    if (!diskStore_) return;
    auto bytes = diskStore_->read();
    if (!bytes) return;
    auto json = JsonText::decode(*bytes);
    if (!json || !json->is_object()) return diskStore_->markUndecodable();
    std::map<std::string, LangfusePrompt> decoded;
    for (const auto& [name, value] : json->items()) {
        auto prompt = langfusePromptFromJson(value);
        if (!prompt) return diskStore_->markUndecodable();  // one bad entry and the file is ignored whole
        decoded.emplace(name, std::move(*prompt));
    }
    std::lock_guard guard(lock_);
    for (auto& [name, prompt] : decoded)
        lastGood_.try_emplace(name, std::move(prompt));
}

std::optional<LangfusePrompt> LangfusePromptCache::lastGoodOf(const std::string& name) {
    std::lock_guard guard(lock_);
    auto it = lastGood_.find(name);
    if (it == lastGood_.end()) return std::nullopt;
    return it->second;
}

void LangfusePromptCache::persistDisk() {
    if (!diskStore_) return;
    std::lock_guard writing(writeLock_);
    nlohmann::json document = nlohmann::json::object();
    {
        std::lock_guard guard(lock_);
        for (const auto& [name, prompt] : lastGood_)
            document[name] = prompt;
    }
    if (auto text = JsonText::encode(document)) (void)diskStore_->write(*text);
}

std::optional<LangfusePrompt> LangfusePromptCache::getPrompt(
    const std::string& name, const std::string& label,
    const std::optional<LangfuseCredentials>& credentials) {
    loadDiskOnceIfNeeded();
    {
        std::lock_guard guard(lock_);
        if (auto it = memory_.find(name); it != memory_.end()) {
            if (secondsBetween(it->second.fetchedAt, now_()) < ttl_) return it->second.prompt;
        }
    }
    if (!credentials || !fetcher_) return lastGoodOf(name);

    std::optional<LangfuseResult> result;
    try {
        result = raceAgainstTimeout<LangfuseResult>(fetchTimeout_, [&](std::stop_token stop) {
            return fetcher_->fetchPrompt(name, label, *credentials, fetchTimeout_, stop);
        });
    } catch (...) {
        result.reset();
    }
    if (!result || !std::holds_alternative<LangfusePrompt>(*result)) return lastGoodOf(name);

    const auto& prompt = std::get<LangfusePrompt>(*result);
    {
        std::lock_guard guard(lock_);
        memory_[name] = Fresh{prompt, now_()};
        lastGood_[name] = prompt;
    }
    persistDisk();
    return prompt;
}

}  // namespace quillfen
