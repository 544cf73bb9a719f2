#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "Contract/AgentContext.h"
#include "Contract/AgentSummary.h"
#include "Mind/AgentMind.h"
#include "Mind/AgentTenant.h"
#include "Mind/VoiceGuard.h"

namespace quillfen {

// Where a spoken line comes from: the mind's own words, or the local fall-back.
enum class LineSource { mind, local };

// Why a consult speaks nothing. The bridge itself only ever gives mindChoseSilence: a refused
// document is answered with the local line.
enum class BridgeSilence { mindChoseSilence, summaryRefused };

std::string_view toString(LineSource);
std::string_view toString(BridgeSilence);
std::optional<LineSource> lineSourceFrom(std::string_view);
std::optional<BridgeSilence> bridgeSilenceFrom(std::string_view);

// What a consult comes to for its caller.
struct BridgeOutcome {
    struct Fire {
        std::string line;
        LineSource source = LineSource::local;
        bool operator==(const Fire&) const = default;
    };
    std::variant<Fire, BridgeSilence> value;
    bool operator==(const BridgeOutcome&) const = default;
};

// The record of one consult of the mind.
struct BridgeTrace {
    bool fired = false;
    // Present exactly when fired.
    std::optional<std::string> renderedLine;
    std::optional<LineSource> source;
    // Present only when not fired.
    std::optional<BridgeSilence> silence;
    // The document passed the leak check and the mind was asked, even if it then failed or ran late.
    bool mindReached = false;
    // "refused-leak: " and the leak, "timed-out", or the textual form of the mind's error.
    std::optional<std::string> mindError;
    // The voice rules the mind's line broke first, then the factual guard's.
    std::vector<VoiceRule> voiceFailures;
    std::string localLine;
    // The mind's proposed line, trimmed, kept also when the guards refused it.
    std::optional<std::string> mindLine;
    // The mind's stated reason, as an explicit ask records it.
    std::optional<std::string> mindReasoning;

    // The line with its source when the trace fired with both; otherwise its silence
    // (mindChoseSilence when it names none).
    BridgeOutcome outcomeValue() const;

    bool operator==(const BridgeTrace&) const = default;
};

// Keys equal to the field names in declaration order; absent fields are left out.
void to_json(nlohmann::ordered_json&, const BridgeTrace&);
// No value unless fired, mindReached, voiceFailures and localLine are there and every field
// present reads.
std::optional<BridgeTrace> bridgeTraceFromJson(const nlohmann::json&);

// The record of one reflection: the accepted line, or none, and a note of why: "mind",
// "off-voice", "timed-out", "refused-leak", or "mind-error: " and the error's textual form.
struct ReflectionResult {
    std::optional<std::string> line;
    std::string note;
    bool operator==(const ReflectionResult&) const = default;
};

// The one gate between a mind and the surfaces that speak. A decision always has a line ready:
// the local line is worked out first, a document that fails the leak check never reaches the
// mind, the mind races its time-out, and whatever it proposes must pass the tenant's voice check
// and the factual guard; every failure falls back to the local line. Nothing is thrown; every
// call ends in a record of what happened.
//
// Each call is answered by its time-out whatever the mind does: a mind that runs late is asked to
// stop and left to end on its own thread, holding its share of the mind and a copy of the
// document; its late answer is dropped. A bridge and its copies count the calls of theirs that
// are still running, so that a mind that cannot stop does not pile up a thread at every call.
//
// Remembers no answer between calls; copies may be used from several threads at once.
class MindBridge {
public:
    // Calls of the mind that a bridge and its copies may have running at once, late ones
    // included; a call beyond them answers at once with its time-out fall-back.
    static constexpr int kMaxRunningCalls = 4;

    // `mind` must not be null. Time-outs are in seconds; a negative one times out at once.
    MindBridge(AgentTenant tenant, std::shared_ptr<const AgentMind> mind, double timeout,
               double reflectTimeout);

    const AgentTenant& tenant() const { return tenant_; }
    const std::shared_ptr<const AgentMind>& mind() const { return mind_; }
    double timeout() const { return timeout_; }
    double reflectTimeout() const { return reflectTimeout_; }

    // A nudge decision over the weekly summary. The mind's reason is not kept.
    BridgeTrace consult(const AgentSummary& summary) const;

    // The user's explicit ask over the richer context: as consult over the summary the context
    // embeds, but the context is what is checked and sent, and the mind's reason is kept.
    BridgeTrace consultRich(const AgentContext& context) const;

    // One reflection line about the week; no local line is made here.
    ReflectionResult reflect(const AgentSummary& summary) const;

    // The text with a leading lower-case letter upper-cased (which may make it longer); anything
    // else, an empty text included, comes back as it is. Nothing is trimmed.
    static std::string capitalizeLead(std::string_view text);

private:
    AgentTenant tenant_;
    std::shared_ptr<const AgentMind> mind_;
    double timeout_;
    double reflectTimeout_;
    std::shared_ptr<std::atomic<int>> runningCalls_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace quillfen
