#include <QProcess>
#include <QStringList>

#include "Support/SystemLog.h"
#include "platform/CpuAffinity.h"
#include "platform/TerminalLauncher.h"

namespace quillfen {

namespace {

class LinuxTerminalLauncher final : public TerminalLauncher {
public:
    bool run(const std::string& executable, const std::vector<std::string>& arguments) override {
        // Debian's alternative takes -e followed by the program and its arguments, each its
        // own word, so a path with spaces or quotes reaches the program unchanged.
        QStringList words{QStringLiteral("-e"), QString::fromStdString(executable)};
        for (const auto& argument : arguments)
            words << QString::fromStdString(argument);
        // Detached: the terminal is the user's and is neither waited for nor ended with us.
        CpuAffinity::ProcessCores cores;
        if (QProcess::startDetached(QStringLiteral("x-terminal-emulator"), words)) return true;
        SystemLog::error("terminal", "x-terminal-emulator could not be started");
        return false;
    }
};

}  // namespace

std::unique_ptr<TerminalLauncher> makeTerminalLauncher() {
    return std::make_unique<LinuxTerminalLauncher>();
}

}  // namespace quillfen
