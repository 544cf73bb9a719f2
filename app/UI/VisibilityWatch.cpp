#include "UI/VisibilityWatch.h"

#include <QEvent>

namespace quillfen {

VisibilityWatch::VisibilityWatch(QWidget& widget, std::function<void(bool)> onChange)
    : widget_(widget), onChange_(std::move(onChange)) {
    follow();
    seen_ = canBeSeen();
}

VisibilityWatch::~VisibilityWatch() {
    for (const QPointer<QObject>& object : watched_)
        if (object) object->removeEventFilter(this);
}

void VisibilityWatch::follow() {
    for (const QPointer<QObject>& object : watched_)
        if (object) object->removeEventFilter(this);
    watched_.clear();
    // A widget is built before it is placed: the chain of its ancestors is taken again whenever
    // any of them moves to another parent.
    for (QWidget* w = &widget_; w != nullptr; w = w->parentWidget()) {
        w->installEventFilter(this);
        watched_.emplace_back(w);
        if (w->isWindow()) break;
    }
    // The window's surface exists once the window is first shown, and may be made anew.
    surface_ = widget_.window()->windowHandle();
    if (surface_) {
        surface_->installEventFilter(this);
        watched_.emplace_back(surface_.data());
    }
}

bool VisibilityWatch::canBeSeen() const {
    if (!widget_.isVisible()) return false;
    const QWidget* window = widget_.window();
    if (window->isMinimized() || withdrawn_) return false;
    return !widget_.visibleRegion().isEmpty();
}

void VisibilityWatch::check() {
    const bool seen = canBeSeen();
    if (seen == seen_) return;
    seen_ = seen;
    if (onChange_) onChange_(seen);
}

bool VisibilityWatch::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ParentChange:
        case QEvent::WinIdChange:
            follow();
            check();
            break;
        case QEvent::Show:
            // A window counts as on the screen from its showing until the window system says
            // otherwise: its first expose comes a moment later, and a drawing that waited for it
            // would start late.
            if (watched == widget_.window() && !event->spontaneous()) withdrawn_ = false;
            if (widget_.window()->windowHandle() != surface_) follow();
            check();
            break;
        case QEvent::Expose:
            if (watched == surface_) {
                withdrawn_ = !surface_->isExposed();
                check();
            }
            break;
        case QEvent::Hide:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            check();
            break;
        default:
            break;
    }
    return false;
}

}  // namespace quillfen
