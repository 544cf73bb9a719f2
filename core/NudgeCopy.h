#pragma once

#include <optional>
#include <string>

#include "Mind/MoveLabel.h"

namespace quillfen {

// Everything one nudge says: the notification, the panel's lines and its two buttons.
struct NudgeCopy {
    std::string notificationTitle;
    std::string notificationBody;
    std::string panelLineOne;
    std::string panelLineTwo;
    std::string panelMeta;
    std::string primaryButton;
    std::string dismissButton;
    // The kind of move proposed; absent for copy worded from a nudge candidate.
    std::optional<MoveLabel> moveLabel;
    bool operator==(const NudgeCopy&) const = default;
};

}  // namespace quillfen
