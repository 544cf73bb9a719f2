#pragma once

#include <QEvent>
#include <QObject>

namespace quillfen::test {

// Counts the paints a widget receives once it is installed as the widget's event filter.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace quillfen::test
