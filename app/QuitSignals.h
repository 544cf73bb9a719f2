#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace quillfen {

// Turns SIGTERM and SIGINT into a call on the event loop's thread: the handler only writes a
// byte into a pipe whose other end the loop watches, the one thing a handler may safely do.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(std::function<void(int signal)> onSignal, QObject* parent = nullptr);
    ~QuitSignals() override;

    // Catches the signals from now on, before anything watches the pipe: one that comes
    // meanwhile waits there, and its call comes once the event loop runs. Whether they are caught.
    static bool catchFromNow();

private:
    void drain();

    std::function<void(int)> onSignal_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace quillfen
