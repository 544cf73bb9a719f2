#pragma once

#include <QObject>

#include <functional>
#include <string>
#include <vector>

struct DBusConnection;
struct DBusMessage;

namespace quillfen {

// The application's actions as a GTK application offers them (org.gtk.Actions), on a session-bus
// connection of their own, whose unique name the windows carry (WindowHints). GNOME Shell's own
// Quit (the dash, the overview, the application grid) runs an application's "quit" only where
// that action takes no parameter, which the bus writes as an empty signature; Qt's D-Bus layer
// refuses to write one, and GNOME then only closes the windows. So this object speaks through
// libdbus itself, on the main loop through socket notifiers: no thread of its own. Main thread only.
class GtkActions final : public QObject {
public:
    static constexpr const char* kInterface = "org.gtk.Actions";

    // `actions` are the names offered, each enabled and stateless; `activate` runs on the main
    // loop for one of them, after the caller has its answer.
    GtkActions(std::vector<std::string> actions, std::function<void(const std::string& action)> activate,
               QObject* parent = nullptr);
    ~GtkActions() override;
    GtkActions(const GtkActions&) = delete;
    GtkActions& operator=(const GtkActions&) = delete;

    // Connects to the session bus ($DBUS_SESSION_BUS_ADDRESS) and puts the object at `objectPath`;
    // false, and logged, when either cannot be had.
    bool start(const std::string& objectPath);
    // The connection's unique name once started; empty before, or when it could not start.
    const std::string& uniqueName() const { return uniqueName_; }

private:
    struct Callbacks;
    friend struct Callbacks;

    void dispatchLater();
    void dispatch();
    void answer(DBusMessage* call);

    std::vector<std::string> actions_;
    std::function<void(const std::string&)> activate_;
    DBusConnection* connection_ = nullptr;
    std::string uniqueName_;
    bool dispatchQueued_ = false;
};

}  // namespace quillfen
