#include <algorithm>
#include <cmath>
#include <vector>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QObject>

#include "platform/linux/IdleSince.h"
#include "platform/linux/IdleTimeLinux.h"

namespace quillfen {

namespace {

const QString kService = QStringLiteral("org.gnome.Mutter.IdleMonitor");
const QString kPath = QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core");
const QString kInterface = QStringLiteral("org.gnome.Mutter.IdleMonitor");

// GNOME's compositor, under Wayland and X11 alike. Its count is asked once, at start, and never in
// a tick: from then on its watches tell when the person has made no input for the timeout and
// when they are back.
class MutterIdleTime final : public QObject, public IdleSource {
    Q_OBJECT
public:
    MutterIdleTime(QDBusConnection bus, Clock now, const Delay& delay, double answerWithinSeconds,
                   double timeoutSeconds)
        : bus_(std::move(bus)), idle_(std::move(now), timeoutSeconds) {
        if (!bus_.isConnected()) {
            answered(Answer::silent);
            return;
        }
        bus_.connect(kService, kPath, kInterface, QStringLiteral("WatchFired"), this, SLOT(watchFired(uint)));
        // A shell started again (GNOME on X11 restarts in place) has forgotten the watches.
        auto* restarts =
            new QDBusServiceWatcher(kService, bus_, QDBusServiceWatcher::WatchForRegistration, this);
        QObject::connect(restarts, &QDBusServiceWatcher::serviceRegistered, this, [this] {
            idleWatch_ = activeWatch_ = 0;
            watch();
        });
        watch();
        deadline_ = delay(answerWithinSeconds, [this] { answered(Answer::silent); });
    }

    ~MutterIdleTime() override {
        for (const uint watch : {idleWatch_, activeWatch_}) {
            if (watch == 0) continue;
            auto remove =
                QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("RemoveWatch"));
            remove << watch;
            bus_.send(remove);
        }
    }

    std::optional<double> secondsSinceLastInput() override {
        if (answer() != Answer::answers) return std::nullopt;
        return idle_.seconds();
    }

    std::string name() const override { return "Mutter's IdleMonitor"; }

public slots:
    void watchFired(uint watch) {
        if (watch == 0) return;
        if (watch != idleWatch_ && watch != activeWatch_) {
            // Perhaps ours, its number not yet heard: the signal can overtake the reply on its way here.
            if (unclaimed_.size() == kUnclaimedKept) unclaimed_.erase(unclaimed_.begin());
            unclaimed_.push_back(watch);
            return;
        }
        if (watch == idleWatch_) {
            idle_.idled();
            watchForInput();
        } else if (watch == activeWatch_) {
            // A watch for input fires once and is gone.
            activeWatch_ = 0;
            idle_.resumed();
        }
    }

private:
    void call(const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> done) {
        auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
        message.setArguments(arguments);
        auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message), this);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                         [watcher, done = std::move(done)] {
                             watcher->deleteLater();
                             done(watcher->reply());
                         });
    }

    static uint watchOf(const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return 0;
        const QVariant value = reply.arguments().front();
        return value.metaType() == QMetaType::fromType<uint>() ? value.toUInt() : 0;
    }

    void watch() {
        const auto intervalMs = qulonglong(std::llround(idle_.timeout() * 1000));
        call(QStringLiteral("AddIdleWatch"), {QVariant::fromValue(intervalMs)},
             [this](const QDBusMessage& reply) { claim(idleWatch_, watchOf(reply)); });
        call(QStringLiteral("GetIdletime"), {}, [this](const QDBusMessage& reply) { counted(reply); });
    }

    void counted(const QDBusMessage& reply) {
        deadline_.reset();
        const bool valid = reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 1 &&
                           reply.arguments().front().metaType() == QMetaType::fromType<qulonglong>();
        if (!valid) return answered(Answer::silent);
        idle_.idleFor(static_cast<double>(reply.arguments().front().toULongLong()) / 1000.0);
        watchForInput();
        answered(Answer::answers);
    }

    void watchForInput() {
        if (activeWatch_ != 0) return;
        call(QStringLiteral("AddUserActiveWatch"), {},
             [this](const QDBusMessage& reply) { claim(activeWatch_, watchOf(reply)); });
    }

    void claim(uint& mine, uint watch) {
        mine = watch;
        const auto early = std::find(unclaimed_.begin(), unclaimed_.end(), watch);
        if (watch == 0 || early == unclaimed_.end()) return;
        unclaimed_.erase(early);
        watchFired(watch);
    }

    QDBusConnection bus_;
    IdleSince idle_;
    uint idleWatch_ = 0;
    uint activeWatch_ = 0;
    static constexpr std::size_t kUnclaimedKept = 8;
    std::vector<uint> unclaimed_;
    Subscription deadline_;
};

}  // namespace

std::unique_ptr<IdleSource> makeMutterIdleTime(const QDBusConnection& sessionBus, Clock now, Delay delay,
                                               double answerWithinSeconds, double timeoutSeconds) {
    return std::make_unique<MutterIdleTime>(sessionBus, std::move(now), delay, answerWithinSeconds,
                                            timeoutSeconds);
}

}  // namespace quillfen

#include "MutterIdleTimeLinux.moc"
