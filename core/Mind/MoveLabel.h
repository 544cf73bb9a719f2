#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json_fwd.hpp>

namespace quillfen {

// The kind of a move the user can make.
enum class MoveLabel { stepOutside, shortPractice, breath, customOther };

inline constexpr MoveLabel kAllMoveLabels[] = {MoveLabel::stepOutside, MoveLabel::shortPractice,
                                               MoveLabel::breath, MoveLabel::customOther};

std::string_view toString(MoveLabel);
std::optional<MoveLabel> moveLabelFrom(std::string_view);

// Written as its raw value; any other text fails to read (throws nlohmann::json::exception).
void to_json(nlohmann::json&, const MoveLabel&);
void from_json(const nlohmann::json&, MoveLabel&);

}  // namespace quillfen
