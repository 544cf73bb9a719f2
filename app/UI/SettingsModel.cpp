#include "UI/SettingsModel.h"

namespace quillfen {

std::string SettingsModel::loginItemNoteFor(std::string_view state) {
    if (state == "enabled" || state == "notRegistered") return {};
    if (state == "requiresApproval") return std::string(kApprovalNote);
    return std::string(kUnavailableNote);
}

}  // namespace quillfen
