#include "ClaudeFaceScripts.h"

#include <QFile>
#include <QString>

// The resources of a static library are linked in only when named, outside any namespace.
static void initClaudeFaceResources() {
    Q_INIT_RESOURCE(claude_face);
}

namespace quillfen::ClaudeFaceScripts {

std::optional<std::string> bundled(std::string_view name) {
    initClaudeFaceResources();
    QFile file(QStringLiteral(":/claude-face/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
               QStringLiteral(".sh"));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll().toStdString();
}

}  // namespace quillfen::ClaudeFaceScripts
