#include "UI/Render.h"

#include <QCoreApplication>
#include <QLayout>
#include <QPaintEvent>
#include <cmath>

namespace quillfen {

void prepare(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
}

void paintAsLayer(QPainter& painter, const QRectF& bounds, double opacity,
                  const std::function<void(QPainter&)>& paint) {
    if (!(opacity > 0)) return;
    if (opacity >= 1) {
        paint(painter);
        return;
    }
    // The layer is made in device pixels, so that it is laid down one pixel for one.
    const QTransform toDevice = painter.deviceTransform();
    QRect area = toDevice.mapRect(bounds).toAlignedRect();
    if (painter.hasClipping()) area &= toDevice.mapRect(painter.clipBoundingRect()).toAlignedRect();
    if (area.isEmpty()) return;
    QImage layer(area.size(), QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter inner(&layer);
        inner.setRenderHints(painter.renderHints());
        inner.setFont(painter.font());
        inner.setTransform(toDevice * QTransform::fromTranslate(-area.left(), -area.top()));
        paint(inner);
    }
    painter.save();
    // The world transform that, followed by the device's own, puts the layer's pixels on the
    // area's.
    const QTransform deviceOwn = painter.worldTransform().inverted() * toDevice;
    painter.setWorldTransform(QTransform::fromTranslate(area.left(), area.top()) * deviceOwn.inverted());
    painter.setOpacity(painter.opacity() * opacity);
    painter.drawImage(QPointF(0, 0), layer);
    painter.restore();
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

void layOutOffscreen(QWidget& view) {
    view.setAttribute(Qt::WA_DontShowOnScreen, true);
    view.show();
    // A wrapped text's new height climbs one layout per round; a few rounds reach the top.
    for (int round = 0; round < 8; ++round) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

void layOutAtWidth(QWidget& view, int width) {
    // A window's layout would hold it to the height its content needs at its narrowest.
    if (view.layout() != nullptr) view.layout()->setSizeConstraint(QLayout::SetNoConstraint);
    view.setFixedWidth(width);
    layOutOffscreen(view);
    const int height = view.heightForWidth(width);
    view.setFixedHeight(height > 0 ? height : view.sizeHint().height());
    layOutOffscreen(view);
}

QImage renderWidget(QWidget& view, qreal scale, const QColor& background) {
    const QSize pixels(std::max(1, static_cast<int>(std::ceil(view.width() * scale))),
                       std::max(1, static_cast<int>(std::ceil(view.height() * scale))));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(background);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
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
