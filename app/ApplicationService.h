#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "StartRequest.h"

namespace quillfen {

// The running instance's place on the session bus. It owns the application's name and answers
// org.freedesktop.Application there, so that a second start of the application (the desktop
// opening a handoff address, the menu entry chosen again or one of its actions) hands what it
// asks for to this instance before it ends. Main thread only.
class ApplicationService final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.quillfen.Quillfen";
    static constexpr const char* kObjectPath = "/org/quillfen/Quillfen";
    static constexpr const char* kInterface = "org.freedesktop.Application";

    // What the bus asks of this instance. An address is kept before the caller has its answer; a
    // window opened or the quit runs after it, on the main loop, and never keeps the caller waiting.
    struct Handlers {
        std::function<void(const std::vector<std::string>& urls)> open;
        std::function<void()> activate;
        std::function<void(const std::string& action)> activateAction;
    };

    ApplicationService(QDBusConnection connection, Handlers handlers, QObject* parent = nullptr);
    ~ApplicationService() override;
    ApplicationService(const ApplicationService&) = delete;
    ApplicationService& operator=(const ApplicationService&) = delete;

    // Puts the object on the bus and takes the name; false, and logged, when either cannot be
    // had (no session bus, the name held by another process).
    bool start();

    // What the bus calls.
    void openUrls(const QStringList& uris);
    void activate();
    void activateAction(const QString& action);

    // The second start's side: hands what `request` asks for to the instance that owns the name,
    // waiting up to `patience` for it to take the name (it may still be starting): its addresses
    // (Open), its action (ActivateAction), or, asked for nothing, Activate. A start no person chose
    // hands over only its addresses. True once the instance has it all.
    static bool forward(QDBusConnection connection, const StartRequest& request,
                        std::chrono::milliseconds patience);

private:
    void later(std::function<void()> step);

    QDBusConnection connection_;
    Handlers handlers_;
    bool registered_ = false;
};

// org.freedesktop.Application on the service's object.
class ApplicationServiceAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    explicit ApplicationServiceAdaptor(ApplicationService* service);

public slots:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    void ActivateAction(const QString& actionName, const QVariantList& parameter, const QVariantMap& platformData);

private:
    ApplicationService* service_;
};

}  // namespace quillfen
