#include "UI/FlowChips.h"

#include <QWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillfen {

FlowChips::FlowChips(qreal spacing, QWidget* parent) : QLayout(parent), spacing_(spacing) {
    setContentsMargins(0, 0, 0, 0);
}

FlowChips::~FlowChips() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

FlowChips::Arrangement FlowChips::arrange(const std::vector<QSizeF>& chips, qreal width, qreal spacing) {
    Arrangement result;
    qreal x = 0, y = 0, rowHeight = 0;
    for (const QSizeF& chip : chips) {
        if (x > 0 && x + chip.width() > width) {
            y += rowHeight + spacing;
            x = 0;
            rowHeight = 0;
        }
        result.origins.emplace_back(x, y);
        x += chip.width() + spacing;
        rowHeight = std::max(rowHeight, chip.height());
    }
    result.size = QSizeF(std::isfinite(width) ? width : x, y + rowHeight);
    return result;
}

void FlowChips::addItem(QLayoutItem* item) {
    items_.append(item);
}

QLayoutItem* FlowChips::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* FlowChips::takeAt(int index) {
    return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

std::vector<QSizeF> FlowChips::chipSizes() const {
    std::vector<QSizeF> sizes;
    for (const QLayoutItem* item : items_) {
        if (item->isEmpty()) continue;
        sizes.emplace_back(item->sizeHint());
    }
    return sizes;
}

int FlowChips::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(arrange(chipSizes(), width, spacing_).size.height()));
}

QSize FlowChips::sizeHint() const {
    QSizeF size = arrange(chipSizes(), std::numeric_limits<qreal>::infinity(), spacing_).size;
    return {static_cast<int>(std::ceil(size.width())), static_cast<int>(std::ceil(size.height()))};
}

QSize FlowChips::minimumSize() const {
    // Any width will do: the chips wrap, and the height follows the width.
    return {0, 0};
}

void FlowChips::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    std::vector<QLayoutItem*> shown;
    for (QLayoutItem* item : items_) {
        if (!item->isEmpty()) shown.push_back(item);
    }
    const Arrangement placed = arrange(chipSizes(), rect.width(), spacing_);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const QPointF at = rect.topLeft() + placed.origins[i];
        shown[i]->setGeometry(QRect(QPoint(static_cast<int>(std::lround(at.x())), static_cast<int>(std::lround(at.y()))),
                                    shown[i]->sizeHint()));
    }
}

}  // namespace quillfen
