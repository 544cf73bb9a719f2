#include "ManagedWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "Support/SystemLog.h"

namespace quillfen {

namespace {

// The close button hides instead of closing; the slot then lets the window go.
class CloseToHide final : public QObject {
public:
    CloseToHide(QWidget* window, std::function<void()> onClose) : QObject(window), onClose_(std::move(onClose)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Close || watched != parent()) return false;
        event->ignore();
        onClose_();
        return true;
    }

private:
    std::function<void()> onClose_;
};

void centre(QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect area = screen->availableGeometry();
    QSize size = window.size().isEmpty() ? window.sizeHint() : window.size();
    window.move(area.center() - QPoint(size.width() / 2, size.height() / 2));
}

}  // namespace

ManagedWindow::ManagedWindow(std::string name) : name_(std::move(name)) {}

ManagedWindow::~ManagedWindow() {
    delete window_.data();
    for (const QPointer<QWidget>& released : released_)
        delete released.data();
}

WindowSlotAction ManagedWindow::present(const Builder& build, const Reuse& configureReuse, Focus focus) {
    const WindowSlotAction action = slot_.open();
    if (action == WindowSlotAction::reuseShow && window_) {
        if (configureReuse) configureReuse(*window_);
        show(*window_, focus);
        return action;
    }
    // A first opening, or a reopening after the closed window was released.
    QWidget* made = build ? build() : nullptr;
    if (made == nullptr) {
        if (!emptyLogged_) {
            emptyLogged_ = true;
            SystemLog::info("windows", "the " + name_ + " window has nothing to show yet; it stays closed");
        }
        slot_.disposed();
        return action;
    }
    window_ = made;
    made->setAttribute(Qt::WA_DeleteOnClose, false);
    new CloseToHide(made, [this] { hide(); });
    // The builder gave the window its size; a window built again takes the place it had.
    if (geometry_.isEmpty() || !made->restoreGeometry(geometry_)) centre(*made);
    show(*made, focus);
    return action;
}

void ManagedWindow::show(QWidget& window, Focus focus) {
    if (focus == Focus::leaveFocus) {
        // Neither the application nor the window manager may hand it the focus: the user is
        // working elsewhere.
        window.setAttribute(Qt::WA_ShowWithoutActivating, true);
        window.setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
        window.show();
        return;
    }
    // A window the user put away is brought back: shown, raised or activated, it would stay
    // minimised where nothing (no tray, in a desktop without one) shows it.
    if (window.isMinimized()) window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

void ManagedWindow::hide() {
    if (slot_.close() != WindowSlotAction::hide) return;
    if (window_) window_->hide();
    release();
}

void ManagedWindow::dispose() {
    if (!slot_.hasWindow()) return;
    slot_.disposed();
    release();
}

void ManagedWindow::release() {
    if (!window_) return;
    geometry_ = window_->saveGeometry();
    QWidget* old = window_.data();
    window_.clear();
    old->hide();
    // Deferred: the window may be inside its own event handling (its close button).
    old->deleteLater();
    std::erase_if(released_, [](const QPointer<QWidget>& released) { return released.isNull(); });
    released_.emplace_back(old);
}

}  // namespace quillfen
