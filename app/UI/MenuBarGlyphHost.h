#pragma once

#include <QImage>
#include <QObject>

#include "UI/AnimationDriver.h"
#include "UI/MenuBarGlyph.h"
#include "UI/MenuBarModel.h"
#include "platform/DesktopAppearance.h"
#include "platform/StatusItem.h"

namespace quillfen {

// The tray's stone: the menu-bar glyph, kept in step with the model and the desktop's look,
// drawn at whatever pixel size the tray asks for. Every change of the drawing (a fade's step
// included) asks the tray for a new icon. Used on the main thread; the model, the item and
// the appearance outlive it.
class MenuBarGlyphHost : public QObject {
    Q_OBJECT
public:
    // The glyph's share of a square tray slot: the stone stands in it as on a menu bar, with
    // room above and below.
    static constexpr double kSlotShare = 0.72;

    MenuBarGlyphHost(MenuBarModel& model, StatusItem& item, DesktopAppearance& appearance,
                     AnimationDriver& driver = AnimationDriver::shared());
    ~MenuBarGlyphHost() override;

    // The icon at a size in device pixels, for a screen of the given ratio.
    QImage render(int width, int height, double devicePixelRatio) const;
    StatusIconPainter painter() const;
    const MenuBarGlyph& glyph() const { return glyph_; }

private:
    void modelChanged();
    void appearanceChanged();

    MenuBarModel& model_;
    StatusItem& item_;
    DesktopAppearance& appearance_;
    MenuBarGlyph glyph_;
    Subscription appearanceSubscription_;
};

}  // namespace quillfen
