#include "platform/linux/IdleTimeLinux.h"

#include <QDBusMessage>
#include <QMetaType>
#include <QVariant>

namespace quillfen {

namespace {

// The read runs on the main thread once a tick; a compositor that hangs must not stall it.
constexpr int kCallTimeoutMs = 500;

class MutterIdleTime final : public IdleTime {
public:
    explicit MutterIdleTime(QDBusConnection bus) : bus_(std::move(bus)) {}

    std::optional<double> secondsSinceLastInput() override {
        if (!bus_.isConnected()) return std::nullopt;
        auto call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                                                   QStringLiteral("/org/gnome/Mutter/IdleMonitor/Core"),
                                                   QStringLiteral("org.gnome.Mutter.IdleMonitor"),
                                                   QStringLiteral("GetIdletime"));
        QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 1) return std::nullopt;
        const QVariant& value = reply.arguments().front();
        if (value.metaType() != QMetaType::fromType<qulonglong>()) return std::nullopt;
        return static_cast<double>(value.toULongLong()) / 1000.0;
    }

private:
    QDBusConnection bus_;
};

class FirstAnsweringIdleTime final : public IdleTime {
public:
    explicit FirstAnsweringIdleTime(std::vector<std::unique_ptr<IdleTime>> sources)
        : sources_(std::move(sources)) {}

    std::optional<double> secondsSinceLastInput() override {
        for (auto& source : sources_) {
            if (auto seconds = source->secondsSinceLastInput()) return seconds;
        }
        return std::nullopt;
    }

private:
    std::vector<std::unique_ptr<IdleTime>> sources_;
};

}  // namespace

std::unique_ptr<IdleTime> makeMutterIdleTime(const QDBusConnection& sessionBus) {
    return std::make_unique<MutterIdleTime>(sessionBus);
}

std::unique_ptr<IdleTime> makeFirstAnsweringIdleTime(std::vector<std::unique_ptr<IdleTime>> sources) {
    return std::make_unique<FirstAnsweringIdleTime>(std::move(sources));
}

std::unique_ptr<IdleTime> makeIdleTime() {
    std::vector<std::unique_ptr<IdleTime>> sources;
    sources.push_back(makeMutterIdleTime(QDBusConnection::sessionBus()));
    sources.push_back(makeX11IdleTime({}));
    return makeFirstAnsweringIdleTime(std::move(sources));
}

}  // namespace quillfen
