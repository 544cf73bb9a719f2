#pragma once

#include <QImage>
#include <QObject>

#include "UI/MenuBarModel.h"
#include "platform/DesktopAppearance.h"
#include "platform/StatusItem.h"

namespace quillfen {

// The tray's stone: draws the menu-bar glyph from the model at whatever pixel size the tray
// asks for, and asks the tray for a new icon whenever the model or the desktop's appearance
// changes. Used on the main thread; the model, the item and the appearance outlive it.
class MenuBarGlyphHost : public QObject {
    Q_OBJECT
public:
    MenuBarGlyphHost(MenuBarModel& model, StatusItem& item, DesktopAppearance& appearance);
    ~MenuBarGlyphHost() override;

    // The icon at a size in device pixels, for a screen of the given ratio.
    QImage render(int width, int height, double devicePixelRatio) const;
    StatusIconPainter painter() const;

private:
    void changed();

    MenuBarModel& model_;
    StatusItem& item_;
    DesktopAppearance& appearance_;
    Subscription appearanceSubscription_;
};

}  // namespace quillfen
