#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

#include "Support/Clock.h"

namespace quillfen {

enum class AIToolCategory { shell, edit, browser, agent, read, other };
enum class AIActivityKind { userTurn, toolCall, toolResult, taskStarted, taskCompleted };

std::string_view toString(AIToolCategory);
std::string_view toString(AIActivityKind);
std::optional<AIToolCategory> aiToolCategoryFrom(std::string_view);
std::optional<AIActivityKind> aiActivityKindFrom(std::string_view);

// One timed step of a coding agent. Projects and sessions are carried only as fingerprints.
struct AIActivityEvent {
    TimePoint timestamp;
    std::string projectFingerprint;
    std::string sessionFingerprint;
    bool isUser = false;
    std::optional<AIToolCategory> toolCategory;
    AIActivityKind kind = AIActivityKind::userTurn;
    bool operator==(const AIActivityEvent&) const = default;
};

// Keys are the field names; "toolCategory" is left out when absent.
nlohmann::json activityEventToJson(const AIActivityEvent&);
std::optional<AIActivityEvent> activityEventFromJson(const nlohmann::json&);

}  // namespace quillfen
