#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Mind/AgentMind.h"
#include "Mind/LangfusePromptCache.h"
#include "Mind/ProcessRunner.h"

namespace quillfen {

struct AgentTenant;

// The one real mind: the user's own `claude` tool, run once per question as a child process.
class ClaudeSidecarMind final : public AgentMind {
public:
    static constexpr std::string_view defaultLangfusePromptName = "quillfen-mind-nudge";
    static constexpr std::string_view defaultLangfuseReflectionPromptName = "quillfen-mind-reflection";
    static const std::string& reflectionPersona();

    ClaudeSidecarMind(
        std::string executable, std::string personaPath, std::string model, double timeout,
        std::shared_ptr<const ProcessRunner> runner, std::shared_ptr<LangfusePromptCache> langfuseCache,
        std::optional<LangfuseCredentials> langfuseCredentials,
        std::string langfusePromptName = std::string(defaultLangfusePromptName),
        std::string langfuseReflectionPromptName = std::string(defaultLangfuseReflectionPromptName),
        std::string langfuseLabel = "production");

    // The tenant's persona and model, the shared cache and the registry credentials of the
    // process environment.
    ClaudeSidecarMind(const AgentTenant& tenant, std::string executable, double timeout,
                      std::shared_ptr<const ProcessRunner> runner);

    MindResult<MindDecision> decide(const AgentSummary& summary, std::stop_token stop) const override;
    MindResult<MindDecision> decideRich(const AgentContext& context, std::stop_token stop) const override;
    MindResult<std::string> reflect(const AgentSummary& summary, std::stop_token stop) const override;

    // The process-wide prompt cache, made on first use.
    static std::shared_ptr<LangfusePromptCache> sharedLangfuseCache();

    // The absolute path of the user's tool: the first executable among ~/.local/bin/claude,
    // /usr/local/bin/claude and /opt/homebrew/bin/claude, else the first `claude` in an absolute
    // folder of PATH. Nothing when there is none: the tool is not installed.
    static std::optional<std::string> defaultExecutable();
    // The same search over other places and another search path (a test's own, say).
    static std::optional<std::string> findExecutable(const std::vector<std::string>& places,
                                                     std::string_view searchPath);
    static std::string defaultPersonaPath();

    static MindResult<std::string> loadPersona(const std::string& path);
    static std::string stripFrontmatter(std::string_view text);
    static std::string userMessage(const std::string& summaryJson);
    static std::string reflectionUserMessage(const std::string& summaryJson);
    static std::string richUserMessage(const std::string& contextJson, int schemaVersion);
    static std::vector<std::string> arguments(const std::string& userMessage, const std::string& persona,
                                              const std::string& model);

    const std::string& executable() const { return executable_; }
    const std::string& personaPath() const { return personaPath_; }
    const std::string& model() const { return model_; }
    double timeout() const { return timeout_; }

private:
    MindResult<std::string> decisionPersona() const;
    std::string reflectionPersonaText() const;
    MindResult<std::string> run(const std::string& message, const std::string& persona,
                                std::stop_token stop) const;

    std::string executable_;
    std::string personaPath_;
    std::string model_;
    double timeout_;
    std::shared_ptr<const ProcessRunner> runner_;
    std::shared_ptr<LangfusePromptCache> langfuseCache_;
    std::optional<LangfuseCredentials> langfuseCredentials_;
    std::string langfusePromptName_;
    std::string langfuseReflectionPromptName_;
    std::string langfuseLabel_;
};

}  // namespace quillfen
