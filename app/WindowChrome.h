#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>

#include <string>

#include "UI/LivingWindow.h"

namespace quillfen {

// The frame of one of the application's windows, around content a view supplies.
struct WindowChrome {
    enum class Kind {
        // A normal window: title bar, closable; resizable down to its minimum when it has one.
        window,
        // The onboarding: no title shown, its content runs under the title bar on paper.
        sheet,
        // The desktop pane: frameless, above other windows, never taking the focus.
        pane,
    };
    Kind kind = Kind::window;
    QString title;
    QSize size;
    QSize minimum;  // empty: fixed at its size

    // The rhythm window, its developer variant, the settings window, the onboarding.
    static WindowChrome rhythm(bool dev);
    static WindowChrome settings();
    static WindowChrome onboarding();
    static WindowChrome pane(const QSize& size);
};

// A top-level window of that chrome holding `content`; nullptr when there is no content.
QWidget* makeWindow(QWidget* content, const WindowChrome& chrome);

// The session-bus connection whose object the windows made from now on name as the application's
// (GtkActions), for the desktop to find its actions there; empty, they name none. Set once at start.
void nameApplicationActionsOn(std::string uniqueBusName);

// Where the desktop pane stands for a geometry, inside a screen's available area: its
// bottom-right corner kept `right` and `bottom` points from the area's edges.
QRectF livingPaneFrame(const LivingWindow::Geometry& geometry, const QRectF& available);

}  // namespace quillfen
