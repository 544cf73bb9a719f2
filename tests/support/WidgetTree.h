#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QWidget>
#include <string>

// Reading a view's widget tree back in tests: a child by its object name, its text, its colour,
// and whether a person would see it.
namespace quillfen::test {

// Found by name first, then checked for its type: a widget of another type under that name
// reads as missing.
template <typename W = QWidget>
W* child(const QWidget& root, const char* name) {
    W* found = dynamic_cast<W*>(root.findChild<QWidget*>(QString::fromLatin1(name)));
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

inline std::string textOf(const QWidget& root, const char* name) {
    QLabel* label = child<QLabel>(root, name);
    return label != nullptr ? label->text().toStdString() : std::string("<missing>");
}

inline QColor colourOf(const QWidget* widget) {
    return widget->palette().color(QPalette::WindowText);
}

inline bool shown(const QWidget& root, const char* name) {
    QWidget* widget = child(root, name);
    return widget != nullptr && widget->isVisibleTo(&root);
}

// Lays out and shows a view at a size; a change of text reaches the outer layouts only after
// a few rounds of posted events.
inline void settle(QWidget& view, int width, int height) {
    view.resize(width, height);
    view.show();
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

inline void settle() {
    for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

}  // namespace quillfen::test
