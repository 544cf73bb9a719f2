#include "UI/SoftShadow.h"

#include <QPaintDevice>
#include <QPixmap>
#include <cmath>
#include <deque>
#include <vector>

namespace quillfen {

namespace {

// One pass of a running-sum box blur over the alpha bytes, along rows or columns.
void boxBlur(QImage& image, int radius, bool horizontal) {
    if (radius <= 0) return;
    const int w = image.width(), h = image.height();
    const int lines = horizontal ? h : w, length = horizontal ? w : h;
    std::vector<int> line(static_cast<std::size_t>(length));
    const int window = 2 * radius + 1;
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> uchar& {
            return horizontal ? image.scanLine(l)[i] : image.scanLine(i)[l];
        };
        for (int i = 0; i < length; ++i) line[static_cast<std::size_t>(i)] = at(i);
        int sum = 0;
        for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < length) ? line[static_cast<std::size_t>(i)] : 0;
        for (int i = 0; i < length; ++i) {
            at(i) = static_cast<uchar>(sum / window);
            int out = i - radius, in = i + radius + 1;
            if (out >= 0) sum -= line[static_cast<std::size_t>(out)];
            if (in < length) sum += line[static_cast<std::size_t>(in)];
        }
    }
}

struct Entry {
    QPainterPath shape;
    qreal radius;
    qreal scale;
    QRgb colour;
    QImage image;
    QPointF origin;
};

const Entry& blurred(const QPainterPath& shape, const QColor& colour, qreal radius, qreal scale) {
    static std::deque<Entry> cache;
    for (const auto& e : cache) {
        if (e.radius == radius && e.scale == scale && e.colour == colour.rgba() && e.shape == shape) return e;
    }
    const qreal margin = std::ceil(radius * 1.5);
    QRectF area = shape.boundingRect().adjusted(-margin, -margin, margin, margin);
    QImage mask(QSize(std::max(1, static_cast<int>(std::ceil(area.width() * scale))),
                      std::max(1, static_cast<int>(std::ceil(area.height() * scale)))),
                QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(scale, scale);
        p.translate(-area.topLeft());
        p.fillPath(shape, Qt::black);
    }
    // Three box passes come close to a Gaussian of deviation radius / 2.
    const int box = std::max(0, static_cast<int>(std::lround(radius / 2 * scale * 0.87)));
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(mask, box, true);
        boxBlur(mask, box, false);
    }
    QImage tinted(mask.size(), QImage::Format_ARGB32_Premultiplied);
    tinted.fill(Qt::transparent);
    {
        QPainter p(&tinted);
        p.drawImage(0, 0, mask);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(tinted.rect(), colour);
    }
    tinted.setDevicePixelRatio(scale);
    if (cache.size() >= 8) cache.pop_front();
    cache.push_back({shape, radius, scale, colour.rgba(), tinted, area.topLeft()});
    return cache.back();
}

}  // namespace

void drawSoftShadow(QPainter& painter, const QPainterPath& shape, const QColor& colour, qreal radius, QPointF offset) {
    const QPaintDevice* device = painter.device();
    // By the device alone: a breathing stone scales its shadow a hair, which needs no new blur.
    const qreal scale = device ? device->devicePixelRatioF() : 1.0;
    const Entry& e = blurred(shape, colour, radius, std::max<qreal>(1.0, scale));
    painter.drawImage(e.origin + offset, e.image);
}

}  // namespace quillfen
