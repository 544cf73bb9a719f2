#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <optional>

#include "UI/AnimationDriver.h"
#include "UI/PanelView.h"

namespace quillfen {

// Where the popover's top-left corner goes: under (or beside) the tray icon when the tray
// tells where it is, else under the pointer, else at the top-right of the first screen; always
// wholly on the chosen screen's available area. `screens` are the available areas, the first
// being the primary one.
QPoint popoverTopLeft(const std::optional<QRect>& trayIcon, const std::optional<QPoint>& pointer,
                      const QList<QRect>& screens, const QSize& popup);

// The popover that holds the panel: a frameless popup that closes when the user clicks or
// switches elsewhere. Closing only hides it: an ask closing as it hides still settles, and a
// popover released while one sinks away lets it settle at once.
class PopoverWindow : public QWidget {
    Q_OBJECT
public:
    PopoverWindow(PanelModel& model, std::optional<PanelMirror> mirror,
                  AnimationDriver& driver = AnimationDriver::shared());

    // Opens by the tray icon's rectangle (global, as the tray reports it; none or an empty one
    // when it does not know). Already open, it stays where it is.
    void showAt(const std::optional<QRect>& trayIcon);
    // Opens as `showAt`, or closes when open.
    void toggleAt(const std::optional<QRect>& trayIcon);
    void closePanel();
    bool isShown() const { return isVisible(); }

    void setReduceMotion(bool reduce) { panel_->setReduceMotion(reduce); }
    PanelView& panel() { return *panel_; }

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void place();

    PanelView* panel_;
    std::optional<QRect> trayIcon_;
    std::optional<QPoint> pointer_;
};

}  // namespace quillfen
