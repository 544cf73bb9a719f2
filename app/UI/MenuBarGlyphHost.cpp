#include "UI/MenuBarGlyphHost.h"

#include <QPainter>

#include "UI/Render.h"

namespace quillfen {

MenuBarGlyphHost::MenuBarGlyphHost(MenuBarModel& model, StatusItem& item, DesktopAppearance& appearance,
                                   AnimationDriver& driver)
    : model_(model),
      item_(item),
      appearance_(appearance),
      glyph_(driver, model.hasSomethingToSay(), model.stale()) {
    glyph_.setFace(model_.face());
    glyph_.setIdentity(model_.identity());
    appearanceChanged();
    connect(&model_, &MenuBarModel::changed, this, &MenuBarGlyphHost::modelChanged);
    connect(&glyph_, &MenuBarGlyph::changed, this, [this] { item_.iconChanged(); });
    appearanceSubscription_ = appearance_.subscribe([this] { appearanceChanged(); });
}

MenuBarGlyphHost::~MenuBarGlyphHost() = default;

void MenuBarGlyphHost::modelChanged() {
    glyph_.setHasSomethingToSay(model_.hasSomethingToSay());
    glyph_.setStale(model_.stale());
    glyph_.setFace(model_.face());
    glyph_.setIdentity(model_.identity());
}

void MenuBarGlyphHost::appearanceChanged() {
    glyph_.setReduceMotion(appearance_.reduceMotion());
    glyph_.setDark(appearance_.prefersDark());
}

QImage MenuBarGlyphHost::render(int width, int height, double devicePixelRatio) const {
    const double scale = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSizeF size(width / scale, height / scale);
    GlyphState state = glyph_.state();
    const QSizeF room(size.width() * kSlotShare, size.height() * kSlotShare);
    state.height = glyphHeightFitting(state.identity, room);
    return renderToImage(size, scale,
                         [&state](QPainter& painter, const QRectF& box) { paintGlyph(painter, box, state); });
}

StatusIconPainter MenuBarGlyphHost::painter() const {
    return [this](int width, int height, double devicePixelRatio) {
        QImage image = render(width, height, devicePixelRatio).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        StatusIconImage icon;
        icon.width = image.width();
        icon.height = image.height();
        icon.pixels.resize(static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height));
        for (int y = 0; y < icon.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::copy(row, row + icon.width, icon.pixels.begin() + static_cast<std::ptrdiff_t>(y) * icon.width);
        }
        return icon;
    };
}

}  // namespace quillfen
