#include "QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

bool QuitSignals::catchFromNow() {
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        SystemLog::error("quit", "no pipe for the quit signals: SIGTERM ends the process abruptly");
        return false;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}

QuitSignals::QuitSignals(std::function<void(int)> onSignal_, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal_)) {
    if (!catchFromNow()) return;
    // A signal caught before this watched the pipe is read at the loop's first look.
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::drain);
}

QuitSignals::~QuitSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void QuitSignals::drain() {
    unsigned char byte = 0;
    while (::read(pipeFds[0], &byte, 1) == 1) {
        if (onSignal_) onSignal_(byte);
    }
}

}  // namespace quillfen
