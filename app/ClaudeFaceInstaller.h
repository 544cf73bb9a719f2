#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Support/Clock.h"

// Puts the stone into the user's Claude Code: two small scripts into the family folder
// (~/.ostrel), a prompt-submit hook that notes only the moment of each prompt, and the status
// line that mirrors the stone's face; then both into ~/.claude/settings.json, after one backup
// of that file as it was before the first install, and a further one whenever a later install
// would replace a status line the user set meanwhile.
//
// The settings are the user's: a file that is not the JSON object Claude Code keeps, whose
// "hooks" are not in the shape Claude Code reads, or that the user made read-only, is left
// exactly as it is and the refusal is reported; every other key is kept; the file is replaced
// whole, never half written, and read only through the user's own link. Backups (the user's
// alone) and scripts are new files of ours, never written through a link. An uninstall takes out
// what an install put in, and nothing else, under the same rules.
namespace quillfen::ClaudeFaceInstaller {

// The bundled scripts, in the order they are installed; each is installed as its name + ".sh".
inline constexpr std::string_view kHookScript = "prompt-cadence-hook";
inline constexpr std::string_view kStatusLineScript = "statusline-mirror";
inline constexpr const char* kBackupSuffix = ".bak-tavryn-stone";
// An entry of the hook list that mentions this, anywhere, is the hook already installed.
inline constexpr std::string_view kHookMarker = "prompt-cadence-hook.sh";
// Settings that name neither script hold nothing of ours to take out.
inline constexpr std::string_view kStatusLineMarker = "statusline-mirror.sh";
inline constexpr int kHookTimeoutSeconds = 5;
// Claude Code's settings are a few kilobytes; anything past these is not a file to edit.
inline constexpr std::size_t kMaxSettingsBytes = 4u << 20;
inline constexpr int kMaxSettingsDepth = 256;

// A bundled script's text by its name; nothing when the bundle lacks it.
using Resources = std::function<std::optional<std::string>(std::string_view name)>;

// How the settings file came out of an install.
enum class SettingsOutcome {
    written,
    // ~/.ostrel is not a folder of the user's alone (another user's, or another user's link): no
    // script goes there, and no command that would run one.
    familyFolderRefused,
    // Someone other than the user and root could change what the scripts' paths lead to (a
    // folder on the way is another user's, or others may rename its entries): Claude Code would
    // run whatever they put there, so the settings do not name the scripts. Found before the
    // install begins, nothing at all is written.
    othersCouldChangeScripts,
    // There is a file but it could not be read, or it is too large or too deeply nested.
    unreadable,
    // The user took away their own write permission.
    readOnly,
    // Not JSON, or JSON whose top level is not an object.
    notAnObject,
    hooksNotAnObject,
    // "hooks" → "UserPromptSubmit" is not a list of objects.
    promptHooksNotAList,
    // The new text could not be made or put in place; the file is as it was.
    notWritten,
};

// For the settings window: what was left alone and why; empty for `written`.
std::string note(SettingsOutcome outcome);

struct Report {
    // The scripts put in place, by name.
    std::vector<std::string> scripts;
    SettingsOutcome settings = SettingsOutcome::written;
    bool operator==(const Report&) const = default;
};

// "bash " and the script's path in the family folder, as one shell word.
std::string hookCommand(const std::filesystem::path& familyFolder);
std::string statusLineCommand(const std::filesystem::path& familyFolder);

// The settings text with the hook and the status line in, sorted and indented, or why the file
// must stay as it is. `current` is the file's text; none when there is no file.
std::variant<std::string, SettingsOutcome> editedSettings(const std::optional<std::string>& current,
                                                          const std::filesystem::path& familyFolder);

// Whether an install over the settings text `current` would replace something of the user's:
// a status line other than the one it writes. The file is then copied first, to a backup of its
// own when the first install's backup exists already.
bool replacesOthers(const std::string& current, const std::filesystem::path& familyFolder);

// The whole install for the user whose home folder is `home`, at `now` (which names a backup).
Report install(const std::filesystem::path& home, const Resources& resources, TimePoint now);

// Whether the settings of the user whose home folder is `home`, read as an uninstall reads them,
// name either of our scripts.
bool namedInSettings(const std::filesystem::path& home);

struct Removal {
    // The scripts taken out of the family folder, by name.
    std::vector<std::string> scripts;
    // Our status line or hook was in the settings and is gone.
    bool settingsChanged = false;
    // The user's own status line that the first install replaced is back in place of ours.
    bool statusLineBack = false;
    SettingsOutcome settings = SettingsOutcome::written;
    bool operator==(const Removal&) const = default;
};

// Undoes the install for the user whose home folder is `home`: the status line and hooks whose
// commands are the ones an install writes out of the settings (read and written as an install
// does, after a copy of the file as it was, beside the first install's backup when that exists),
// then both scripts out of the family folder. Our status line gives way to the one the first
// install replaced, as that install's backup writes it, when that one is the user's; one the
// user set since stays as it is. The scripts go even when the settings must stay as
// they are: nothing of ours is left to run. `why`, when the removal has a reason the log should
// give, ends its line.
Removal uninstall(const std::filesystem::path& home, TimePoint now, std::string_view why = {});

}  // namespace quillfen::ClaudeFaceInstaller
