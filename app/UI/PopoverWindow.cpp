#include "UI/PopoverWindow.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace quillfen {

namespace {

constexpr int kGap = 4;

qint64 distanceSquared(const QRect& area, const QPoint& p) {
    const qint64 dx = p.x() < area.left() ? area.left() - p.x() : (p.x() > area.right() ? p.x() - area.right() : 0);
    const qint64 dy = p.y() < area.top() ? area.top() - p.y() : (p.y() > area.bottom() ? p.y() - area.bottom() : 0);
    return dx * dx + dy * dy;
}

// The area holding `p`, or the nearest to it.
QRect nearestArea(const QList<QRect>& screens, const QPoint& p) {
    QRect best = screens.front();
    qint64 bestDistance = std::numeric_limits<qint64>::max();
    for (const QRect& area : screens) {
        const qint64 d = distanceSquared(area, p);
        if (d < bestDistance) {
            bestDistance = d;
            best = area;
        }
    }
    return best;
}

QPoint clampInto(const QRect& area, QPoint p, const QSize& size) {
    // A popup larger than the area keeps its top-left corner on it.
    p.setX(std::max(area.left(), std::min(p.x(), area.left() + area.width() - size.width())));
    p.setY(std::max(area.top(), std::min(p.y(), area.top() + area.height() - size.height())));
    return p;
}

}  // namespace

QPoint popoverTopLeft(const std::optional<QRect>& trayIcon, const std::optional<QPoint>& pointer,
                      const QList<QRect>& screens, const QSize& popup) {
    if (screens.isEmpty()) {
        if (trayIcon && !trayIcon->isEmpty()) return {trayIcon->left(), trayIcon->bottom() + 1 + kGap};
        return pointer.value_or(QPoint(0, 0));
    }
    if (trayIcon && !trayIcon->isEmpty()) {
        const QRect icon = *trayIcon;
        const QPoint centre(icon.left() + icon.width() / 2, icon.top() + icon.height() / 2);
        const QRect area = nearestArea(screens, centre);
        // The panel holding the tray lies outside the available area, on the edge it is
        // attached to; a panel over the area counts for the edge the icon is nearest.
        const int above = area.top() - icon.bottom();
        const int below = icon.top() - area.bottom();
        const int leftOf = area.left() - icon.right();
        const int rightOf = icon.left() - area.right();
        const int outside = std::max({above, below, leftOf, rightOf});
        enum { top, bottom, left, right } edge;
        if (outside > 0) {
            edge = outside == above ? top : outside == below ? bottom : outside == leftOf ? left : right;
        } else {
            const int toTop = centre.y() - area.top();
            const int toBottom = area.bottom() - centre.y();
            const int toLeft = centre.x() - area.left();
            const int toRight = area.right() - centre.x();
            const int nearest = std::min({toTop, toBottom, toLeft, toRight});
            edge = nearest == toTop ? top : nearest == toBottom ? bottom : nearest == toLeft ? left : right;
        }
        QPoint at;
        switch (edge) {
            case top:
                at = {centre.x() - popup.width() / 2, icon.bottom() + 1 + kGap};
                break;
            case bottom:
                at = {centre.x() - popup.width() / 2, icon.top() - kGap - popup.height()};
                break;
            case left:
                at = {icon.right() + 1 + kGap, centre.y() - popup.height() / 2};
                break;
            case right:
                at = {icon.left() - kGap - popup.width(), centre.y() - popup.height() / 2};
                break;
        }
        return clampInto(area, at, popup);
    }
    if (pointer) {
        const QRect area = nearestArea(screens, *pointer);
        return clampInto(area, {pointer->x() - popup.width() / 2, pointer->y() + kGap}, popup);
    }
    const QRect& primary = screens.front();
    return clampInto(primary, {primary.left() + primary.width() - popup.width(), primary.top()}, popup);
}

PopoverWindow::PopoverWindow(PanelModel& model, std::optional<PanelMirror> mirror, AnimationDriver& driver)
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint) {
    setObjectName("popover");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    panel_ = new PanelView(model, std::move(mirror), WindowPresence{}, this, driver);
    layout->addWidget(panel_);
}

void PopoverWindow::showAt(const std::optional<QRect>& trayIcon) {
    if (isVisible()) return;
    trayIcon_ = trayIcon;
    pointer_.reset();
    // Wayland tells a client nothing of the pointer outside its own windows.
    if (QGuiApplication::platformName() != QLatin1String("wayland")) pointer_ = QCursor::pos();
    adjustSize();
    place();
    show();
    raise();
    activateWindow();
}

void PopoverWindow::toggleAt(const std::optional<QRect>& trayIcon) {
    if (isVisible()) closePanel();
    else showAt(trayIcon);
}

void PopoverWindow::closePanel() {
    hide();
}

void PopoverWindow::place() {
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen()) screens.append(primary->availableGeometry());
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) screens.append(screen->availableGeometry());
    }
    move(popoverTopLeft(trayIcon_, pointer_, screens, size()));
}

bool PopoverWindow::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::WindowDeactivate:
            // Switching elsewhere closes it, as a click outside does.
            if (isVisible()) closePanel();
            break;
        case QEvent::LayoutRequest: {
            const bool handled = QWidget::event(event);
            // The panel grew or shrank (a nudge arrived, the exercise began): keep it by the tray
            // and on the screen.
            if (isVisible()) place();
            return handled;
        }
        default:
            break;
    }
    return QWidget::event(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        closePanel();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace quillfen
