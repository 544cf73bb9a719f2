#pragma once

#include <QPainter>
#include <QRectF>
#include <QWidget>

namespace quillfen {

// The small drawn mark beside a fact: a clock face, a wave, a sun, a speech bubble, a pulse.
class GlyphMark : public QWidget {
    Q_OBJECT
public:
    enum class Kind { screen, wave, sun, speak, pulse };

    explicit GlyphMark(Kind kind, QWidget* parent = nullptr);
    Kind kind() const { return kind_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

// Drawn on a 30 x 30 grid scaled to the width of `canvas`: the outline in soft moss, the
// detail in moss.
void paintGlyphMark(QPainter& painter, const QRectF& canvas, GlyphMark::Kind kind);

}  // namespace quillfen
