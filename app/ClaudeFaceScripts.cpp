#include "ClaudeFaceScripts.h"

#include <QFile>
#include <QString>

// The resources of a static library are linked in only when named, outside any namespace.
static void initClaudeFaceResources() {
    Q_INIT_RESOURCE(claude_face);
}

namespace quillfen::ClaudeFaceScripts {

namespace {

// Where a script takes in how the face finds the family folder, which both follow alike.
constexpr std::string_view kFamilyFolderLine = "# @family-folder@\n";

std::optional<std::string> resource(std::string_view name) {
    initClaudeFaceResources();
    QFile file(QStringLiteral(":/claude-face/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
               QStringLiteral(".sh"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll().toStdString();
}

}  // namespace

std::optional<std::string> bundled(std::string_view name) {
    if (name != "prompt-cadence-hook" && name != "statusline-mirror") return std::nullopt;
    auto script = resource(name);
    const auto familyFolder = resource("family-folder");
    const auto at = script ? script->find(kFamilyFolderLine) : std::string::npos;
    if (!familyFolder || at == std::string::npos) return std::nullopt;
    return script->replace(at, kFamilyFolderLine.size(), *familyFolder);
}

}  // namespace quillfen::ClaudeFaceScripts
