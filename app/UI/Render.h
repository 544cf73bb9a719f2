#pragma once

#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QWidget>
#include <functional>

namespace quillfen {

using PaintFunction = std::function<void(QPainter&, const QRectF&)>;

// A drawing rendered offscreen: `size` in device-independent pixels at `scale` pixels each
// (the image's device pixel ratio), on a transparent ground unless `background` is given.
QImage renderToImage(const QSizeF& size, qreal scale, const PaintFunction& paint,
                     const QColor& background = Qt::transparent);

// Lays out a whole view as it would show, without putting it on a screen, so that it can be
// rendered: its layouts settle, and nothing else waiting in the event queue runs.
void layOutOffscreen(QWidget& view);

// The same at a fixed width, as tall as its content is at that width.
void layOutAtWidth(QWidget& view, int width);

// The view as it draws itself, every child included, at `scale` pixels a point (the image's
// device pixel ratio), over `background`.
QImage renderWidget(QWidget& view, qreal scale, const QColor& background = Qt::transparent);

// Writes a PNG; says whether it was written.
bool writePng(const QImage& image, const QString& path);

// The painter set up as every drawing expects: antialiased, smooth images.
void prepare(QPainter& painter);

// Draws `paint` as one layer and lays that down once at `opacity`: where its shapes overlap
// they cover one another as at full opacity, and only the whole is faded, as a view's opacity
// fades it. Whatever `paint` draws must lie within `bounds` (the painter's coordinates).
void paintAsLayer(QPainter& painter, const QRectF& bounds, double opacity,
                  const std::function<void(QPainter&)>& paint);

// The thin widget that shows one drawing: it paints whatever its function draws into its
// own rectangle and owns nothing else.
class DrawingWidget : public QWidget {
    Q_OBJECT
public:
    explicit DrawingWidget(PaintFunction paint = {}, QWidget* parent = nullptr);
    void setPaint(PaintFunction paint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PaintFunction paint_;
};

}  // namespace quillfen
