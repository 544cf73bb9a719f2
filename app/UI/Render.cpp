#include "UI/Render.h"

#include <QPaintEvent>
#include <cmath>

namespace quillfen {

void prepare(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
}

QImage renderToImage(const QSizeF& size, qreal scale, const PaintFunction& paint, const QColor& background) {
    QSize pixels(std::max(1, static_cast<int>(std::ceil(size.width() * scale))),
                 std::max(1, static_cast<int>(std::ceil(size.height() * scale))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(background);
    QPainter painter(&image);
    prepare(painter);
    if (paint) paint(painter, QRectF(QPointF(0, 0), size));
    painter.end();
    return image;
}

bool writePng(const QImage& image, const QString& path) {
    return image.save(path, "PNG");
}

DrawingWidget::DrawingWidget(PaintFunction paint, QWidget* parent) : QWidget(parent), paint_(std::move(paint)) {
    setAttribute(Qt::WA_TranslucentBackground, true);
}

void DrawingWidget::setPaint(PaintFunction paint) {
    paint_ = std::move(paint);
    update();
}

void DrawingWidget::paintEvent(QPaintEvent*) {
    if (!paint_) return;
    QPainter painter(this);
    prepare(painter);
    paint_(painter, QRectF(rect()));
}

}  // namespace quillfen
