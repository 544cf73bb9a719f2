#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusSignature>
#include <QDBusVariant>
#include <QMap>
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

// An action as org.gtk.Actions describes it: enabled, and with no state. Its parameter is named a
// string, which it never reads: the toolkit writes no empty signature, the one for none, and GNOME
// Shell asks only whether the action is there and then runs it without one.
struct GtkActionDescription {
    bool enabled = true;
    QDBusSignature parameterType{QStringLiteral("s")};
    QVariantList state;
};
using GtkActionDescriptions = QMap<QString, GtkActionDescription>;

// org.gtk.Actions on the service's object, where a GTK application offers its actions: GNOME Shell
// finds the object through the properties of the application's windows (WindowHints) and runs its
// "quit" for the Quit of its own menu, which otherwise only closes the windows. The actions are the
// menu entry's.
class GtkActionsAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gtk.Actions")
public:
    explicit GtkActionsAdaptor(ApplicationService* service);

public slots:
    QStringList List();
    quillfen::GtkActionDescription Describe(const QString& action);
    quillfen::GtkActionDescriptions DescribeAll();
    void Activate(const QString& action, const QVariantList& parameter, const QVariantMap& platformData);
    // No action has a state to set.
    void SetState(const QString& action, const QDBusVariant& value, const QVariantMap& platformData);

private:
    ApplicationService* service_;
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

Q_DECLARE_METATYPE(quillfen::GtkActionDescription)
Q_DECLARE_METATYPE(quillfen::GtkActionDescriptions)
