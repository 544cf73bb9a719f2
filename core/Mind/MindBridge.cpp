#include "Mind/MindBridge.h"

#include <atomic>
#include <exception>
#include <functional>
#include <utility>

#include <nlohmann/json.hpp>

#include "Mind/FactualGuard.h"
#include "Reflection/Reflection.h"
#include "Support/DetachedTimeoutRace.h"
#include "Support/EnumTable.h"
#include "Support/JsonFields.h"
#include "Support/Text.h"
#include "Support/UnicodeText.h"

namespace quillfen {

namespace {

constexpr EnumName<LineSource> kLineSources[] = {
    {LineSource::mind, "mind"},
    {LineSource::local, "local"},
};

constexpr EnumName<BridgeSilence> kSilences[] = {
    {BridgeSilence::mindChoseSilence, "mindChoseSilence"},
    {BridgeSilence::summaryRefused, "summaryRefused"},
};

constexpr std::string_view kRefusedLeak = "refused-leak";
constexpr std::string_view kTimedOut = "timed-out";

// A mind should answer with a value, but one that throws still gets a record: a thrown MindError
// is that error, anything else is transport carrying what it says.
template <typename T>
MindResult<T> shielded(const std::function<MindResult<T>()>& call) {
    try {
        return call();
    } catch (const MindError& error) {
        return error;
    } catch (const std::exception& error) {
        return MindError::transport(error.what());
    } catch (...) {
        return MindError::transport("unknown error");
    }
}

// The mind's answer, or nothing when the time ran out first, or when `running` calls already fill
// every place: a call blocked where it cannot see the stop (a persona read from a pipe) would
// otherwise leave a thread behind at every tick, and start its tool with all the others once it
// came free.
template <typename T>
std::optional<MindResult<T>> raceMind(double seconds, const std::shared_ptr<std::atomic<int>>& running,
                                      std::function<MindResult<T>(std::stop_token)> call) {
    if (running->fetch_add(1) >= MindBridge::kMaxRunningCalls) {
        --*running;
        return std::nullopt;
    }
    try {
        return raceLeavingLateWork<MindResult<T>>(seconds,
                                                  [call = std::move(call), running](std::stop_token stop) {
                                                      auto result = shielded<T>([&] { return call(stop); });
                                                      --*running;
                                                      return result;
                                                  });
    } catch (const std::exception& error) {
        // No thread for the mind: the mind could not be run at all.
        --*running;
        return MindResult<T>(MindError::transport(error.what()));
    }
}

std::vector<VoiceRule> joined(std::vector<VoiceRule> first, const std::vector<VoiceRule>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

BridgeTrace fallBack(const std::string& localLine, bool mindReached, std::string mindError) {
    BridgeTrace trace;
    trace.fired = true;
    trace.renderedLine = localLine;
    trace.source = LineSource::local;
    trace.mindReached = mindReached;
    trace.mindError = std::move(mindError);
    trace.localLine = localLine;
    return trace;
}

// The document never reached the mind.
BridgeTrace refused(const std::string& localLine, std::string_view leak) {
    return fallBack(localLine, false, std::string(kRefusedLeak) + ": " + std::string(leak));
}

// Rows 2 to 6 of a consult: the race's result against the summary the line must agree with.
BridgeTrace traceOf(const std::optional<MindResult<MindDecision>>& raced, const std::string& localLine,
                    const AgentSummary& summary, const AgentTenant::Guardrail& guardrail,
                    bool keepsReasoning) {
    if (!raced) return fallBack(localLine, true, std::string(kTimedOut));
    if (const auto* error = std::get_if<MindError>(&*raced))
        return fallBack(localLine, true, textualForm(*error));

    const MindDecision& decision = std::get<MindDecision>(*raced);
    BridgeTrace trace;
    trace.mindReached = true;
    trace.localLine = localLine;
    if (keepsReasoning) trace.mindReasoning = decision.why();

    const MindDecision::OneNudge* nudge = decision.nudge();
    if (!nudge) {
        trace.silence = BridgeSilence::mindChoseSilence;
        return trace;
    }
    // Both guards read the line as the mind wrote it; each minds white space itself.
    const std::string proposed = Text::trimmed(nudge->line);
    trace.voiceFailures = joined(guardrail(nudge->line).failures, FactualGuard::check(nudge->line, summary));
    trace.fired = true;
    trace.mindLine = proposed;
    trace.renderedLine = trace.voiceFailures.empty() ? proposed : localLine;
    trace.source = trace.voiceFailures.empty() ? LineSource::mind : LineSource::local;
    return trace;
}

template <typename Enum, std::size_t N>
nlohmann::ordered_json raw(Enum value, const EnumName<Enum> (&table)[N]) {
    return std::string(enumName(value, table));
}

}  // namespace

std::string_view toString(LineSource source) {
    return enumName(source, kLineSources);
}
std::string_view toString(BridgeSilence silence) {
    return enumName(silence, kSilences);
}
std::optional<LineSource> lineSourceFrom(std::string_view raw) {
    return enumFromName(raw, kLineSources);
}
std::optional<BridgeSilence> bridgeSilenceFrom(std::string_view raw) {
    return enumFromName(raw, kSilences);
}

BridgeOutcome BridgeTrace::outcomeValue() const {
    if (fired && renderedLine && source) return {BridgeOutcome::Fire{*renderedLine, *source}};
    return {silence.value_or(BridgeSilence::mindChoseSilence)};
}

void to_json(nlohmann::ordered_json& j, const BridgeTrace& trace) {
    j = nlohmann::ordered_json::object();
    j["fired"] = trace.fired;
    if (trace.renderedLine) j["renderedLine"] = *trace.renderedLine;
    if (trace.source) j["source"] = raw(*trace.source, kLineSources);
    if (trace.silence) j["silence"] = raw(*trace.silence, kSilences);
    j["mindReached"] = trace.mindReached;
    if (trace.mindError) j["mindError"] = *trace.mindError;
    auto& failures = j["voiceFailures"] = nlohmann::ordered_json::array();
    for (VoiceRule rule : trace.voiceFailures)
        failures.push_back(std::string(toString(rule)));
    j["localLine"] = trace.localLine;
    if (trace.mindLine) j["mindLine"] = *trace.mindLine;
    if (trace.mindReasoning) j["mindReasoning"] = *trace.mindReasoning;
}

std::optional<BridgeTrace> bridgeTraceFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    try {
        BridgeTrace trace;
        trace.fired = asBool(field(j, "fired"));
        trace.mindReached = asBool(field(j, "mindReached"));
        trace.localLine = asString(field(j, "localLine"));
        const nlohmann::json& failures = field(j, "voiceFailures");
        if (!failures.is_array()) throw Invalid("voiceFailures is not a list");
        for (const nlohmann::json& rule : failures)
            trace.voiceFailures.push_back(asEnum(rule, voiceRuleFrom));
        if (const auto* value = optionalField(j, "renderedLine")) trace.renderedLine = asString(*value);
        if (const auto* value = optionalField(j, "source")) trace.source = asEnum(*value, lineSourceFrom);
        if (const auto* value = optionalField(j, "silence"))
            trace.silence = asEnum(*value, bridgeSilenceFrom);
        if (const auto* value = optionalField(j, "mindError")) trace.mindError = asString(*value);
        if (const auto* value = optionalField(j, "mindLine")) trace.mindLine = asString(*value);
        if (const auto* value = optionalField(j, "mindReasoning")) trace.mindReasoning = asString(*value);
        return trace;
    } catch (const Invalid&) {
        return std::nullopt;
    }
}

MindBridge::MindBridge(AgentTenant tenant, std::shared_ptr<const AgentMind> mind, double timeout,
                       double reflectTimeout)
    : tenant_(std::move(tenant)),
      mind_(std::move(mind)),
      timeout_(timeout),
      reflectTimeout_(reflectTimeout) {}

BridgeTrace MindBridge::consult(const AgentSummary& summary) const {
    const std::string localLine = tenant_.renderLocalLine(summary);
    if (const auto leak = summary.assertNoRawLeak()) return refused(localLine, toString(*leak));
    const auto raced = raceMind<MindDecision>(
        timeout_, runningCalls_,
        [mind = mind_, summary](std::stop_token stop) { return mind->decide(summary, stop); });
    return traceOf(raced, localLine, summary, tenant_.guardrail, false);
}

BridgeTrace MindBridge::consultRich(const AgentContext& context) const {
    const std::string localLine = tenant_.renderLocalLine(context.summary);
    if (const auto leak = context.assertNoRawLeak()) return refused(localLine, toString(*leak));
    const auto raced = raceMind<MindDecision>(
        timeout_, runningCalls_,
        [mind = mind_, context](std::stop_token stop) { return mind->decideRich(context, stop); });
    return traceOf(raced, localLine, context.summary, tenant_.guardrail, true);
}

ReflectionResult MindBridge::reflect(const AgentSummary& summary) const {
    if (summary.assertNoRawLeak()) return {std::nullopt, std::string(kRefusedLeak)};
    const auto raced = raceMind<std::string>(
        reflectTimeout_, runningCalls_,
        [mind = mind_, summary](std::stop_token stop) { return mind->reflect(summary, stop); });
    if (!raced) return {std::nullopt, std::string(kTimedOut)};
    if (const auto* error = std::get_if<MindError>(&*raced))
        return {std::nullopt, "mind-error: " + textualForm(*error)};

    const std::string line = capitalizeLead(Text::trimmed(std::get<std::string>(*raced)));
    const std::vector<VoiceRule> failures =
        joined(joined(tenant_.guardrail(line).failures, VoiceGuard::leadingCapital(line)),
               FactualGuard::check(line, summary));
    if (failures.empty() && Reflection::isMirrorClean(line)) return {line, "mind"};
    return {std::nullopt, "off-voice"};
}

std::string MindBridge::capitalizeLead(std::string_view text) {
    const std::string first = UnicodeText::firstCharacter(text);
    // A first character that had to be repaired is not the text's own; leave the text alone.
    if (first.empty() || !text.starts_with(first)) return std::string(text);
    if (!UnicodeText::isLetter(first) || !UnicodeText::isLowercase(first)) return std::string(text);
    return UnicodeText::uppercased(first) + std::string(text.substr(first.size()));
}

}  // namespace quillfen
