#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#ifdef QUILLFEN_TEST_WIDGETS
#include <QApplication>
#include <cstdlib>
#endif
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QString>
#include <QThread>
#include <QVariantMap>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "support/ChildProcess.h"

namespace quillfen::test {

// The application object that Qt's D-Bus and socket notifiers need, made before the first
// test and removed after the last. The test executables that use Qt register it once, in
// QtEnvironment.cpp.
class QtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
#ifdef QUILLFEN_TEST_WIDGETS
        // Drawings and widget trees need a GUI application but no screen.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
#else
        app_ = std::make_unique<QCoreApplication>(argc_, argv_);
#endif
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "quillfen-tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

// Runs the event loop until `done` holds or the time is up; says whether it held.
inline bool spinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kPatience) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs the event loop for `duration`, and at least once however late this thread comes back: what
// was posted to it before the call is delivered.
inline void spinFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    } while (std::chrono::steady_clock::now() < deadline);
}

// Whether the application owns its name on `bus` and its main thread answers there: asked what its
// object offers, which opens nothing (an activation opens the rhythm window).
inline bool applicationAnswers(const QDBusConnection& bus) {
    const QString service = QStringLiteral("org.quillfen.Quillfen");
    if (!bus.interface()->isServiceRegistered(service).value()) return false;
    auto call = QDBusMessage::createMethodCall(service, QStringLiteral("/org/quillfen/Quillfen"),
                                               QStringLiteral("org.freedesktop.DBus.Introspectable"),
                                               QStringLiteral("Introspect"));
    return bus.call(call, QDBus::Block, static_cast<int>(kPatience.count())).type() ==
           QDBusMessage::ReplyMessage;
}

// A named client connection to a private bus, closed when the object goes (before the bus).
class BusConnection {
public:
    explicit BusConnection(const PrivateBus& bus)
        : name_(QStringLiteral("quillfen-test-%1").arg(counter()++)),
          connection_(QDBusConnection::connectToBus(QString::fromStdString(bus.address()), name_)) {}
    ~BusConnection() { QDBusConnection::disconnectFromBus(name_); }
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    QDBusConnection& operator*() { return connection_; }
    QDBusConnection* operator->() { return &connection_; }

    // Waits until some client owns `service`, as a mock service does once it is up.
    bool waitForName(const QString& service, std::chrono::milliseconds timeout = kPatience) {
        return spinUntil([&] { return connection_.interface()->isServiceRegistered(service).value(); },
                         timeout);
    }

    // A blocking call, answered or not: of a service that may not be ready yet.
    QDBusMessage ask(const QString& service, const QString& path, const QString& interface,
                     const QString& method, const QVariantList& arguments = {}) {
        auto message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return connection_.call(message, QDBus::Block, static_cast<int>(kPatience.count()));
    }

    // A blocking call; fails the test when it is not answered.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {}) {
        QDBusMessage reply = ask(service, path, interface, method, arguments);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage)
            << method.toStdString() << ": " << reply.errorMessage().toStdString();
        return reply;
    }

private:
    static std::atomic<int>& counter() {
        static std::atomic<int> value{0};
        return value;
    }

    QString name_;
    QDBusConnection connection_;
};

}  // namespace quillfen::test
