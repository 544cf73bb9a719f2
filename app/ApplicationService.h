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

namespace quillfen {

// The running instance's place on the session bus. It owns the application's name and answers
// org.freedesktop.Application there, so that a second start of the application (the desktop
// opening a handoff address, say) hands its addresses to this instance before it ends.
// Main thread only.
class ApplicationService final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kServiceName = "org.quillfen.Quillfen";
    static constexpr const char* kObjectPath = "/org/quillfen/Quillfen";
    static constexpr const char* kInterface = "org.freedesktop.Application";

    using OpenUrls = std::function<void(const std::vector<std::string>& urls)>;

    ApplicationService(QDBusConnection connection, OpenUrls open, QObject* parent = nullptr);
    ~ApplicationService() override;
    ApplicationService(const ApplicationService&) = delete;
    ApplicationService& operator=(const ApplicationService&) = delete;

    // Puts the object on the bus and takes the name; false, and logged, when either cannot be
    // had (no session bus, the name held by another process).
    bool start();

    // What the bus calls.
    void openUrls(const QStringList& uris);

    // The second start's side: hands `urls` to the instance that owns the name, waiting up to
    // `patience` for it to take the name (it may still be starting). True once it has them.
    static bool forward(QDBusConnection connection, const std::vector<std::string>& urls,
                        std::chrono::milliseconds patience);

    // The command-line arguments that are addresses ("tavryn-stone://keep?..."): those that
    // begin with a scheme.
    static std::vector<std::string> addressArguments(const std::vector<std::string>& arguments);

private:
    QDBusConnection connection_;
    OpenUrls open_;
    bool registered_ = false;
};

// org.freedesktop.Application on the service's object. Only Open does anything: a start
// without an address ends quietly, as a second start always has.
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
