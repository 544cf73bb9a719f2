#include "Mind/ClaudeSidecarMind.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Contract/AgentContext.h"
#include "Contract/AgentSummary.h"
#include "Mind/AgentTenant.h"
#include "Mind/ClaudeReply.h"
#include "Support/Executables.h"
#include "Support/Paths.h"
#include "Support/SafeFile.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

// A persona is a page of instructions.
constexpr std::size_t kMaxPersonaBytes = 1 << 20;

// The fixed words around each document the tool is given.
namespace messages {
constexpr std::string_view kDecideOpening =
    R"q(You are being dogfooded on one abstracted weekly summary. Decide from it alone — you have no other context and must not seek any.)q";
constexpr std::string_view kSummaryHeading =
    R"q(Summary (schema-v1, the only thing the body ever sends you):)q";
constexpr std::string_view kReturnOnly =
    R"q(Return ONLY a single-line JSON object and nothing else — no prose, no markdown fences:)q";
constexpr std::string_view kDecisionShape =
    R"q({"decision":"stay-silent"|"one-nudge","line": <string or null>,"why": <short string>})q";
constexpr std::string_view kDecisionRules =
    R"q(Rules: "line" is null when decision is "stay-silent". When "one-nudge", "line" is the single surfaced line in your restraint voice — sentence case, no questions, no em dashes, lead on the observable pattern, "Tavryn" spelled exactly, a practice is about five minutes.)q";
constexpr std::string_view kReflectOpening =
    R"q(Reflect on this abstracted weekly summary. Reason from it alone.)q";
constexpr std::string_view kReflectionShape =
    R"q({"line": <the one reflection line, a plain observable fact about the rhythm>})q";
constexpr std::string_view kRichOpening =
    R"q(You are given a RICH picture of one person's week and this exact moment — not a summary, the texture: the shape of their days, today's feel, their meetings, their AI work, whether they're on a call or in a focused stretch, and how they've responded to past nudges. Reason over the WHOLE of it the way a perceptive friend would. Weigh it, hold the competing pulls in tension; do not run a checklist. Most reads end in silence.)q";
constexpr std::string_view kRichHeadingStart = R"q(The picture (schema-v)q";
constexpr std::string_view kRichHeadingEnd = R"q(, on the user's own Claude — their data, never shared):)q";
constexpr std::string_view kRichReturnOnly =
    R"q(Decide one of: stay-silent, or one-nudge. Return ONLY a single-line JSON object and nothing else:)q";
constexpr std::string_view kRichShape =
    R"q({"decision":"stay-silent"|"one-nudge","reasoning": <1 to 3 sentences of your ACTUAL read, plain language>,"line": <the single line, or null>})q";
constexpr std::string_view kRichRules =
    R"q("reasoning" is your genuine judgment of this moment in plain words — what you're weighing, what tipped it — never a list of rules. When one-nudge, "line" is your single surfaced line in the restraint voice: sentence case, no questions, no em dashes, lead on the observable pattern, "Tavryn" spelled exactly, a practice is about five minutes.)q";
}  // namespace messages

std::string joinLines(std::initializer_list<std::string_view> lines) {
    std::string out;
    bool first = true;
    for (auto line : lines) {
        if (!first) out += '\n';
        out += line;
        first = false;
    }
    return out;
}

std::string horizontallyTrimmed(std::string_view line) {
    const auto begin = line.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    const auto end = line.find_last_not_of(" \t");
    return std::string(line.substr(begin, end - begin + 1));
}

MindError launchFailure(const ProcessLaunchError& error) {
    return MindError::transport("could not start claude: " + error.message);
}

}  // namespace

const std::string& ClaudeSidecarMind::reflectionPersona() {
    // Never destroyed: a reflection that ran past its time-out may still read it while the
    // process exits.
    static const auto* persona = new std::string(joinLines({
        "You are the reflection voice of a small desktop presence.",
        "It watches, in the coarsest terms, how someone's work rhythm went this week,",
        "and it says one plain line back: a mirror, not an advisor.",
        "",
        "Your input is an abstracted summary of the week and of this moment.",
        "It holds only counts and coarse bands. It never says what the person did there,",
        "never names an application, never gives a clock time, never a number of minutes.",
        "Reason only from that summary, and from nothing you imagine beyond it.",
        "",
        "Write exactly one line: a calm, observable fact about the rhythm.",
        "Name one thing that is visible in the summary, plainly,",
        "in the present tense and in the being's own quiet register.",
        "The line must be true to this summary; a line that would fit any week is a failure.",
        "",
        "The line is not advice and not a suggestion: not \"step outside,\" not \"take a break\".",
        "It is not a question. It does not guess at feelings, reasons or needs.",
        "It holds no should, no ought, no \"you might want to\".",
        "It neither praises nor worries about the person.",
        "",
        "Lead on the multi-day pattern when there is one,",
        "such as the third long afternoon this week.",
        "When the week is light or the moment quiet, say so plainly and stop.",
        "A quiet day earns a quiet line, not an invented one.",
        "",
        "Voice: sentence case. No em dashes. No exclamation points. No questions.",
        "Spare words, plain nouns, short sentences. Never all capitals.",
        "Call the product Tavryn.",
        "",
        "Return only the line itself.",
        "No preamble, no quotes, no advice.",
        "Nothing else, not even a greeting or a sign-off.",
    }));
    return *persona;
}

ClaudeSidecarMind::ClaudeSidecarMind(std::string executable, std::string personaPath, std::string model,
                                     double timeout, std::shared_ptr<const ProcessRunner> runner,
                                     std::shared_ptr<LangfusePromptCache> langfuseCache,
                                     std::optional<LangfuseCredentials> langfuseCredentials,
                                     std::string langfusePromptName, std::string langfuseReflectionPromptName,
                                     std::string langfuseLabel)
    : executable_(std::move(executable)),
      personaPath_(std::move(personaPath)),
      model_(std::move(model)),
      timeout_(timeout),
      runner_(std::move(runner)),
      langfuseCache_(std::move(langfuseCache)),
      langfuseCredentials_(std::move(langfuseCredentials)),
      langfusePromptName_(std::move(langfusePromptName)),
      langfuseReflectionPromptName_(std::move(langfuseReflectionPromptName)),
      langfuseLabel_(std::move(langfuseLabel)) {}

ClaudeSidecarMind::ClaudeSidecarMind(const AgentTenant& tenant, std::string executable, double timeout,
                                     std::shared_ptr<const ProcessRunner> runner)
    : ClaudeSidecarMind(std::move(executable), tenant.personaPath, tenant.model, timeout, std::move(runner),
                        sharedLangfuseCache(), LangfuseCredentials::fromEnvironment(processEnvironment())) {}

std::shared_ptr<LangfusePromptCache> ClaudeSidecarMind::sharedLangfuseCache() {
    static const auto cache = std::make_shared<LangfusePromptCache>(
        std::make_shared<HttpLangfusePromptFetcher>(std::make_shared<CurlHttpFetcher>()), 10.0, 3.0,
        LangfusePromptCache::defaultDiskStore());
    return cache;
}

std::optional<std::string> ClaudeSidecarMind::defaultExecutable() {
    const char* path = std::getenv("PATH");
    return findExecutable(
        {(Paths::home() / ".local/bin/claude").string(), "/usr/local/bin/claude", "/opt/homebrew/bin/claude"},
        path ? path : "");
}

std::optional<std::string> ClaudeSidecarMind::findExecutable(const std::vector<std::string>& places,
                                                             std::string_view searchPath) {
    for (const auto& candidate : places)
        if (Executables::isExecutableFile(candidate)) return candidate;
    return Executables::onSearchPath("claude", searchPath);
}

std::string ClaudeSidecarMind::defaultPersonaPath() {
    return (Paths::home() / ".claude/agents/carrowin.md").string();
}

MindResult<std::string> ClaudeSidecarMind::loadPersona(const std::string& path) {
    // A regular file only, opened without waiting: a pipe at the persona's place would otherwise
    // hold every decision until someone wrote to it. It is the user's, and may be their link; in a
    // ~/.claude of another user, or reached through their link, there is none.
    auto bytes = SafeFile::readWhole(path, kMaxPersonaBytes, SafeFile::Links::ours);
    if (!bytes) return MindError::transport("persona not found at " + path);
    return stripFrontmatter(UnicodeText::repairedUtf8(*bytes));
}

std::string ClaudeSidecarMind::stripFrontmatter(std::string_view text) {
    if (text.substr(0, 3) != "---") return std::string(text);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find('\n', start);
        lines.push_back(
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (lines.size() < 2) return std::string(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (horizontallyTrimmed(lines[i]) != "---") continue;
        std::string rest;
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            if (j > i + 1) rest += '\n';
            rest += lines[j];
        }
        return Text::trimmed(rest);
    }
    return std::string(text);
}

std::string ClaudeSidecarMind::userMessage(const std::string& summaryJson) {
    using namespace messages;
    return joinLines({kDecideOpening, "", kSummaryHeading, summaryJson, "", kReturnOnly, kDecisionShape, "",
                      kDecisionRules});
}

std::string ClaudeSidecarMind::reflectionUserMessage(const std::string& summaryJson) {
    using namespace messages;
    return joinLines({kReflectOpening, "", kSummaryHeading, summaryJson, "", kReturnOnly, kReflectionShape});
}

std::string ClaudeSidecarMind::richUserMessage(const std::string& contextJson, int schemaVersion) {
    using namespace messages;
    const std::string heading =
        std::string(kRichHeadingStart) + std::to_string(schemaVersion) + std::string(kRichHeadingEnd);
    return joinLines(
        {kRichOpening, "", heading, contextJson, "", kRichReturnOnly, kRichShape, "", kRichRules});
}

std::vector<std::string> ClaudeSidecarMind::arguments(const std::string& userMessage,
                                                      const std::string& persona, const std::string& model) {
    return {"-p",
            userMessage,
            "--output-format",
            "json",
            "--system-prompt",
            persona,
            "--exclude-dynamic-system-prompt-sections",
            "--model",
            model,
            "--max-turns",
            "1",
            "--allowedTools",
            ""};
}

MindResult<std::string> ClaudeSidecarMind::decisionPersona() const {
    if (langfuseCache_) {
        if (auto prompt =
                langfuseCache_->getPrompt(langfusePromptName_, langfuseLabel_, langfuseCredentials_)) {
            return prompt->text;
        }
    }
    return loadPersona(personaPath_);
}

std::string ClaudeSidecarMind::reflectionPersonaText() const {
    if (langfuseCache_) {
        if (auto prompt = langfuseCache_->getPrompt(langfuseReflectionPromptName_, langfuseLabel_,
                                                    langfuseCredentials_)) {
            return prompt->text;
        }
    }
    return reflectionPersona();
}

MindResult<std::string> ClaudeSidecarMind::run(const std::string& message, const std::string& persona,
                                               std::stop_token stop) const {
    // A bare or relative name would be taken against the working directory, where any file of
    // that name would run; without an absolute path to the tool the mind is simply not there.
    if (!executable_.starts_with('/')) {
        return launchFailure(ProcessLaunchError{ENOENT, std::strerror(ENOENT)});
    }
    if (!runner_) return MindError::transport("no process runner");
    auto result = runner_->run(executable_, arguments(message, persona, model_), timeout_, stop);
    if (auto* output = std::get_if<std::string>(&result)) return std::move(*output);
    if (auto* error = std::get_if<MindError>(&result)) return *error;
    return launchFailure(std::get<ProcessLaunchError>(result));
}

MindResult<MindDecision> ClaudeSidecarMind::decide(const AgentSummary& summary, std::stop_token stop) const {
    if (auto leak = summary.assertNoRawLeak()) return MindError::transport(std::string(toString(*leak)));
    auto persona = decisionPersona();
    if (auto* error = std::get_if<MindError>(&persona)) return *error;
    auto output = run(userMessage(summary.jsonString()), std::get<std::string>(persona), stop);
    if (auto* error = std::get_if<MindError>(&output)) return *error;
    return ClaudeReply::parseDecision(std::get<std::string>(output));
}

MindResult<MindDecision> ClaudeSidecarMind::decideRich(const AgentContext& context,
                                                       std::stop_token stop) const {
    if (auto leak = context.assertNoRawLeak()) return MindError::transport(std::string(toString(*leak)));
    auto persona = decisionPersona();
    if (auto* error = std::get_if<MindError>(&persona)) return *error;
    auto json = context.jsonString();
    if (!json) return MindError::transport("the context could not be encoded");
    auto output = run(richUserMessage(*json, context.schemaVersion), std::get<std::string>(persona), stop);
    if (auto* error = std::get_if<MindError>(&output)) return *error;
    return ClaudeReply::parseDecision(std::get<std::string>(output));
}

MindResult<std::string> ClaudeSidecarMind::reflect(const AgentSummary& summary, std::stop_token stop) const {
    if (auto leak = summary.assertNoRawLeak()) return MindError::transport(std::string(toString(*leak)));
    const auto message = reflectionUserMessage(summary.jsonString());
    auto output = run(message, reflectionPersonaText(), stop);
    if (auto* error = std::get_if<MindError>(&output)) return *error;
    return ClaudeReply::parseReflectionLine(std::get<std::string>(output));
}

}  // namespace quillfen
