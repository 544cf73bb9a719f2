#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <vector>

namespace quillfen {

// Follows whether a widget can be seen at all: shown, in a window that is neither minimised nor
// taken off the screen by the window system (unmapped, on another desktop), and with some of it
// inside every one of its ancestors, so not scrolled out of view. Qt tells a widget of its own
// hiding and of a minimised window, but of none of the rest, and a drawing that goes on where
// nobody sees it still wakes the application and has the compositor composite it.
// Kept by the widget it watches, as the last of its members: it must go before anything its
// `onChange` reaches. Used on the main thread.
class VisibilityWatch : public QObject {
    Q_OBJECT
public:
    // `onChange` hears each change, after it has happened.
    VisibilityWatch(QWidget& widget, std::function<void(bool seen)> onChange);
    ~VisibilityWatch() override;

    bool seen() const { return seen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Watches the widget, its ancestors as they are now and its window's surface.
    void follow();
    void check();
    bool canBeSeen() const;

    QWidget& widget_;
    std::function<void(bool)> onChange_;
    std::vector<QPointer<QObject>> watched_;
    QPointer<QWindow> surface_;
    // The window system has taken the window's surface off the screen since it was last shown.
    bool withdrawn_ = false;
    bool seen_ = false;
};

}  // namespace quillfen
