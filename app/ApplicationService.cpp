#include "ApplicationService.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QThread>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

constexpr const char* kCategory = "handoff";
constexpr int kCallTimeoutMs = 5000;

}  // namespace

ApplicationService::ApplicationService(QDBusConnection connection, OpenUrls open, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), open_(std::move(open)) {
    new ApplicationServiceAdaptor(this);
}

ApplicationService::~ApplicationService() {
    if (!registered_) return;
    connection_.unregisterService(QString::fromUtf8(kServiceName));
    connection_.unregisterObject(QString::fromUtf8(kObjectPath));
}

bool ApplicationService::start() {
    if (!connection_.isConnected()) {
        SystemLog::notice(kCategory, "no session bus: a second start cannot hand its address to this one");
        return false;
    }
    // The object first, so that a caller who sees the name finds something to call.
    if (!connection_.registerObject(QString::fromUtf8(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
        SystemLog::notice(kCategory, "could not put the application's object on the session bus");
        return false;
    }
    if (!connection_.registerService(QString::fromUtf8(kServiceName))) {
        connection_.unregisterObject(QString::fromUtf8(kObjectPath));
        SystemLog::notice(kCategory, std::string("the name ") + kServiceName + " is held by another process on the session bus");
        return false;
    }
    registered_ = true;
    return true;
}

void ApplicationService::openUrls(const QStringList& uris) {
    std::vector<std::string> urls;
    urls.reserve(static_cast<std::size_t>(uris.size()));
    for (const QString& uri : uris) urls.push_back(uri.toStdString());
    if (open_) open_(urls);
}

bool ApplicationService::forward(QDBusConnection connection, const std::vector<std::string>& urls,
                                 std::chrono::milliseconds patience) {
    if (urls.empty()) return true;
    if (!connection.isConnected()) {
        SystemLog::notice(kCategory, "no session bus: the address could not reach the running copy");
        return false;
    }
    const QString service = QString::fromUtf8(kServiceName);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    // The running copy takes its name late in its start-up; a desktop that opens an address
    // right after starting it must not lose the address to that moment.
    while (!connection.interface()->isServiceRegistered(service).value()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            SystemLog::notice(kCategory, "the running copy never answered on the session bus; the address was dropped");
            return false;
        }
        QThread::msleep(50);
    }
    QStringList uris;
    for (const auto& url : urls) uris.push_back(QString::fromStdString(url));
    auto message = QDBusMessage::createMethodCall(service, QString::fromUtf8(kObjectPath),
                                                  QString::fromUtf8(kInterface), QStringLiteral("Open"));
    message.setArguments({uris, QVariantMap()});
    const QDBusMessage reply = connection.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        SystemLog::notice(kCategory, "the running copy did not take the address: " + reply.errorMessage().toStdString());
        return false;
    }
    return true;
}

std::vector<std::string> ApplicationService::addressArguments(const std::vector<std::string>& arguments) {
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":". Options and a
    // display name such as ":0" are not addresses.
    auto isAddress = [](const std::string& argument) {
        const auto colon = argument.find(':');
        if (colon == std::string::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(argument[0])))
            return false;
        return std::all_of(argument.begin(), argument.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
        });
    };
    std::vector<std::string> addresses;
    std::copy_if(arguments.begin(), arguments.end(), std::back_inserter(addresses), isAddress);
    return addresses;
}

ApplicationServiceAdaptor::ApplicationServiceAdaptor(ApplicationService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void ApplicationServiceAdaptor::Activate(const QVariantMap&) {}

void ApplicationServiceAdaptor::Open(const QStringList& uris, const QVariantMap&) {
    service_->openUrls(uris);
}

void ApplicationServiceAdaptor::ActivateAction(const QString&, const QVariantList&, const QVariantMap&) {}

}  // namespace quillfen
