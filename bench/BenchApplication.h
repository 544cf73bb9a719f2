#pragma once

#include <stdlib.h>

#include <QApplication>
#include <memory>

namespace quillfen::bench {

// Drawing and widgets need an application object, made once for all benchmarks on the
// offscreen platform: they need no screen.
inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "quillfen-bench";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app = []() -> std::unique_ptr<QApplication> {
        if (QCoreApplication::instance() != nullptr) return nullptr;
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return std::make_unique<QApplication>(argc, argv);
    }();
}

}  // namespace quillfen::bench
