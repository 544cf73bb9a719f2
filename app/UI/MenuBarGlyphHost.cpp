#include "UI/MenuBarGlyphHost.h"

#include <QPainter>

#include "UI/Render.h"

namespace quillfen {

MenuBarGlyphHost::MenuBarGlyphHost(MenuBarModel& model, StatusItem& item, DesktopAppearance& appearance)
    : model_(model), item_(item), appearance_(appearance) {
    connect(&model_, &MenuBarModel::changed, this, &MenuBarGlyphHost::changed);
    appearanceSubscription_ = appearance_.subscribe([this] { changed(); });
}

MenuBarGlyphHost::~MenuBarGlyphHost() = default;

void MenuBarGlyphHost::changed() {
    item_.iconChanged();
}

QImage MenuBarGlyphHost::render(int width, int height, double devicePixelRatio) const {
    const double scale = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSizeF size(width / scale, height / scale);
    return renderToImage(size, scale, [](QPainter&, const QRectF&) {});
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
