#pragma once

#include <QLayout>
#include <QList>
#include <QPointF>
#include <QSizeF>

#include <vector>

namespace quillfen {

// Lays chips out in rows, left to right, starting a new row when the next chip would pass the
// right edge; `spacing` is the gap both between chips and between rows. A chip wider than the
// whole row still gets a row of its own and overflows it.
class FlowChips : public QLayout {
    Q_OBJECT
public:
    explicit FlowChips(qreal spacing, QWidget* parent = nullptr);
    ~FlowChips() override;

    struct Arrangement {
        // Each chip's top-left corner, relative to the layout's.
        std::vector<QPointF> origins;
        // Width: `width` when it is finite; otherwise the row's length with one trailing gap.
        QSizeF size;
    };
    // Where chips of these sizes go in a row `width` wide (infinity: never wrap).
    static Arrangement arrange(const std::vector<QSizeF>& chips, qreal width, qreal spacing);

    qreal chipSpacing() const { return spacing_; }

    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(items_.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    std::vector<QSizeF> chipSizes() const;

    QList<QLayoutItem*> items_;
    qreal spacing_;
};

}  // namespace quillfen
