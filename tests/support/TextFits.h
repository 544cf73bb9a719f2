#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <string>
#include <vector>

namespace quillfen::test {

// The visible texts of a view that do not fit the room the layout gave them: a wrapping text
// shorter than its height for its width, or a single-line text or button narrower or shorter
// than it needs. Each is named by its object name (or class) and its size.
inline std::vector<std::string> clippedTexts(QWidget* root) {
    std::vector<std::string> clipped;
    auto name = [](QWidget* w) {
        return (w->objectName().isEmpty() ? std::string(w->metaObject()->className()) : w->objectName().toStdString()) +
               " " + std::to_string(w->width()) + "x" + std::to_string(w->height());
    };
    auto check = [&](QWidget* w) {
        if (!w->isVisible() || w->width() <= 0) return;
        auto* label = qobject_cast<QLabel*>(w);
        const bool text = label != nullptr || qobject_cast<QAbstractButton*>(w) != nullptr ||
                          w->property("paragraph").toBool();
        if (!text) return;
        if (w->hasHeightForWidth()) {
            if (w->height() < w->heightForWidth(w->width())) clipped.push_back(name(w));
            return;
        }
        if (label && label->text().isEmpty()) return;
        const QSize need = w->sizeHint();
        if (w->height() < need.height() || w->width() < need.width()) clipped.push_back(name(w));
    };
    check(root);
    for (QWidget* child : root->findChildren<QWidget*>()) check(child);
    return clipped;
}

}  // namespace quillfen::test
