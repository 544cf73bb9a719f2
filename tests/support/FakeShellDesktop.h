#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/FakeDesktop.h"
#include "support/FakeLocationManager.h"
#include "support/MemoryUserDefaults.h"
#include "platform/DesktopAppearance.h"
#include "platform/DesktopNotifications.h"
#include "platform/StatusItem.h"
#include "platform/TerminalLauncher.h"

namespace quillfen::test {

// Doubles of the shell's own desktop layers. Each writes what it is asked into one shared
// journal, so a test can read the order in which the application used the desktop.
using CallJournal = std::vector<std::string>;

class FakeDesktopNotifications final : public DesktopNotifications {
public:
    explicit FakeDesktopNotifications(CallJournal& journal) : journal_(journal) {}
    // No service: every call answers nothing.
    bool serviceRuns = true;
    std::vector<NotificationRequest> posted;

    void probe(std::function<void(std::optional<ServerInfo>)> answer) override {
        journal_.push_back("notifications.probe");
        answer(serviceRuns ? std::optional<ServerInfo>(ServerInfo{"fake", true}) : std::nullopt);
    }
    void notify(const NotificationRequest& request,
                std::function<void(std::optional<std::uint32_t>)> done) override {
        journal_.push_back("notifications.notify");
        posted.push_back(request);
        done(serviceRuns ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(posted.size())) : std::nullopt);
    }
    Subscription subscribe(NotificationEventHandlers handlers) override { return listeners_.add(std::move(handlers)); }

    void invoke(std::uint32_t id, const std::string& key) { listeners_.notify(id, &key); }
    void close(std::uint32_t id) { listeners_.notify(id, nullptr); }

private:
    CallJournal& journal_;
    struct Listeners {
        Subscription add(NotificationEventHandlers handlers) {
            return list.add([handlers = std::move(handlers)](std::uint32_t id, const std::string* key) {
                if (key && handlers.actionInvoked) handlers.actionInvoked(id, *key);
                if (!key && handlers.closed) handlers.closed(id);
            });
        }
        void notify(std::uint32_t id, const std::string* key) const { list.notify(id, key); }
        ListenerList<std::uint32_t, const std::string*> list;
    } listeners_;
};

class FakeStatusItem final : public StatusItem {
public:
    explicit FakeStatusItem(CallJournal& journal) : journal_(journal) {}
    bool hostRuns = true;
    StatusIconPainter painter;
    std::vector<StatusMenuEntry> menu;
    StatusItemHandlers handlers;
    int iconChanges = 0;

    void show(StatusIconPainter p, std::vector<StatusMenuEntry> m, StatusItemHandlers h) override {
        journal_.push_back("statusItem.show");
        painter = std::move(p);
        menu = std::move(m);
        handlers = std::move(h);
    }
    void iconChanged() override { ++iconChanges; }
    void setToolTip(const std::string&) override {}
    bool hostAvailable() const override { return hostRuns; }
    Subscription subscribeToHost(std::function<void()> onChange) override {
        return hostListeners_.add(std::move(onChange));
    }
    // A tray host comes or goes.
    void hostChanges(bool runs) {
        hostRuns = runs;
        hostListeners_.notify();
    }
    std::optional<Geometry> geometry() const override { return std::nullopt; }
    void hide() override { journal_.push_back("statusItem.hide"); }

private:
    CallJournal& journal_;
    ListenerList<> hostListeners_;
};

class FakeTerminalLauncher final : public TerminalLauncher {
public:
    explicit FakeTerminalLauncher(CallJournal& journal) : journal_(journal) {}
    std::vector<std::vector<std::string>> runs;
    bool run(const std::string& executable, const std::vector<std::string>& arguments) override {
        journal_.push_back("terminal.run");
        std::vector<std::string> words{executable};
        words.insert(words.end(), arguments.begin(), arguments.end());
        runs.push_back(words);
        return true;
    }

private:
    CallJournal& journal_;
};

class FakeDesktopAppearance final : public DesktopAppearance {
public:
    bool reduce = false;
    bool dark = false;
    bool reduceMotion() const override { return reduce; }
    bool prefersDark() const override { return dark; }
    Subscription subscribe(std::function<void()> onChange) override { return listeners_.add(std::move(onChange)); }
    void change() { listeners_.notify(); }

private:
    ListenerList<> listeners_;
};

// An idle clock that notes each time the sensing read asks it: one entry per tick.
class JournalledIdleTime final : public IdleTime {
public:
    explicit JournalledIdleTime(CallJournal& journal) : journal_(journal) {}
    std::optional<double> seconds = 0;
    std::optional<double> secondsSinceLastInput() override {
        journal_.push_back("tick.read");
        return seconds;
    }

private:
    CallJournal& journal_;
};

}  // namespace quillfen::test
