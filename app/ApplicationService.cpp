#include "ApplicationService.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QThread>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

constexpr const char* kHandoffLogCategory = "handoff";
constexpr int kCallTimeoutMs = 5000;

}  // namespace

ApplicationService::ApplicationService(QDBusConnection connection, Handlers handlers, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), handlers_(std::move(handlers)) {
    new ApplicationServiceAdaptor(this);
}

ApplicationService::~ApplicationService() {
    if (!registered_) return;
    connection_.unregisterService(QString::fromUtf8(kServiceName));
    connection_.unregisterObject(QString::fromUtf8(kObjectPath));
}

bool ApplicationService::start() {
    if (!connection_.isConnected()) {
        SystemLog::notice(kHandoffLogCategory,
                          "no session bus: a second start cannot hand its address to this one");
        return false;
    }
    // The object first, so that a caller who sees the name finds something to call.
    if (!connection_.registerObject(QString::fromUtf8(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
        SystemLog::notice(kHandoffLogCategory, "could not put the application's object on the session bus");
        return false;
    }
    if (!connection_.registerService(QString::fromUtf8(kServiceName))) {
        connection_.unregisterObject(QString::fromUtf8(kObjectPath));
        SystemLog::notice(kHandoffLogCategory, std::string("the name ") + kServiceName + " is held by another process on the session bus");
        return false;
    }
    registered_ = true;
    return true;
}

void ApplicationService::openUrls(const QStringList& uris) {
    std::vector<std::string> urls;
    urls.reserve(static_cast<std::size_t>(uris.size()));
    for (const QString& uri : uris) urls.push_back(uri.toStdString());
    // At once: the address is kept before the start that brought it ends.
    if (handlers_.open) handlers_.open(urls);
}

void ApplicationService::activate() {
    later(handlers_.activate);
}

void ApplicationService::activateAction(const QString& action) {
    later([activateAction = handlers_.activateAction, name = action.toStdString()] {
        if (activateAction) activateAction(name);
    });
}

void ApplicationService::later(std::function<void()> step) {
    if (!step) return;
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

bool ApplicationService::forward(QDBusConnection connection, const StartRequest& request,
                                 std::chrono::milliseconds patience) {
    const QString service = QString::fromUtf8(kServiceName);
    std::vector<QDBusMessage> calls;
    auto call = [&](const char* method, const QVariantList& arguments) {
        auto message =
            QDBusMessage::createMethodCall(service, QString::fromUtf8(kObjectPath),
                                           QString::fromUtf8(kInterface), QString::fromUtf8(method));
        message.setArguments(arguments);
        calls.push_back(std::move(message));
    };
    if (!request.addresses.empty()) {
        QStringList uris;
        for (const auto& url : request.addresses)
            uris.push_back(QString::fromStdString(url));
        call("Open", {uris, QVariantMap()});
    }
    if (request.action) {
        call("ActivateAction", {QString::fromStdString(*request.action), QVariantList(), QVariantMap()});
    } else if (request.addresses.empty() && !request.unattended) {
        call("Activate", {QVariantMap()});
    }
    if (calls.empty()) return true;
    if (!connection.isConnected()) {
        SystemLog::notice(kHandoffLogCategory,
                          "no session bus: the second start could not reach the running copy");
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    // The running copy takes its name late in its start-up; a desktop that opens an address
    // right after starting it must not lose the address to that moment.
    while (!connection.interface()->isServiceRegistered(service).value()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            SystemLog::notice(kHandoffLogCategory,
                              "the running copy never answered on the session bus; the second start's "
                              "request was dropped");
            return false;
        }
        QThread::msleep(50);
    }
    for (const auto& message : calls) {
        const QDBusMessage reply = connection.call(message, QDBus::Block, kCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            SystemLog::notice(kHandoffLogCategory, "the running copy did not take the second start's " +
                                             message.member().toStdString() + ": " +
                                             reply.errorMessage().toStdString());
            return false;
        }
    }
    return true;
}

ApplicationServiceAdaptor::ApplicationServiceAdaptor(ApplicationService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void ApplicationServiceAdaptor::Activate(const QVariantMap&) {
    service_->activate();
}

void ApplicationServiceAdaptor::Open(const QStringList& uris, const QVariantMap&) {
    service_->openUrls(uris);
}

void ApplicationServiceAdaptor::ActivateAction(const QString& actionName, const QVariantList&,
                                               const QVariantMap&) {
    service_->activateAction(actionName);
}

}  // namespace quillfen
