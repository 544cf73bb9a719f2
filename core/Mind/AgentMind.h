#pragma once

#include <stop_token>
#include <string>

#include "Mind/MindDecision.h"
#include "Mind/MindError.h"

namespace quillfen {

struct AgentSummary;
struct AgentContext;

// Anything that can read the week's abstracted documents and answer in words. A mind keeps no
// state between calls and is called from several threads at once, so its operations are const.
//
// Every call races a time-out: when `stop` is requested the caller has stopped waiting, and the
// mind should end promptly (a child process it started is ended and reaped). A cancelled call may
// still return anything; its answer is ignored. Failures come back as a MindError; a failure of
// another kind (a document that leaks, a child that will not start) comes back as transport
// carrying that failure's textual form.
class AgentMind {
public:
    virtual ~AgentMind();

    // Whether one nudge is worth saying this week, and its words.
    virtual MindResult<MindDecision> decide(const AgentSummary& summary, std::stop_token stop) const = 0;

    // The user's explicit ask over the richer context. A mind with nothing better to do answers
    // as `decide` answers the summary the context embeds.
    virtual MindResult<MindDecision> decideRich(const AgentContext& context, std::stop_token stop) const;

    // One reflection line about the week. Unless a mind says otherwise it cannot reflect.
    virtual MindResult<std::string> reflect(const AgentSummary& summary, std::stop_token stop) const;
};

}  // namespace quillfen
