#include "WindowChrome.h"

#include <QGuiApplication>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "ApplicationService.h"
#include "UI/Theme.h"
#include "platform/WindowHints.h"

namespace quillfen {

namespace {

std::string& actionsBusName() {
    static std::string name;
    return name;
}

}  // namespace

void nameApplicationActionsOn(std::string uniqueBusName) {
    actionsBusName() = std::move(uniqueBusName);
}

WindowChrome WindowChrome::rhythm(bool dev) {
    if (dev) return {Kind::window, QStringLiteral("Tavryn, what I'm seeing (dev)"), {580, 640}, {520, 420}};
    return {Kind::window, QStringLiteral("Tavryn, your rhythm"), {580, 640}, {460, 390}};
}

WindowChrome WindowChrome::settings() {
    return {Kind::window, QStringLiteral("Tavryn, settings"), {400, 420}, {}};
}

WindowChrome WindowChrome::onboarding() {
    return {Kind::sheet, QString(), {500, 720}, {}};
}

WindowChrome WindowChrome::pane(const QSize& size) {
    return {Kind::pane, QString(), size, {}};
}

QWidget* makeWindow(QWidget* content, const WindowChrome& chrome) {
    if (content == nullptr) return nullptr;
    auto* window = new QWidget(nullptr, Qt::Window);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    window->setWindowTitle(chrome.title);
    // The windows the desktop lists (not the pane, which keeps out of its lists) lead it to the
    // application's actions, so that its Quit ends the application rather than closing them.
    if (chrome.kind != WindowChrome::Kind::pane && QGuiApplication::platformName() == QLatin1String("xcb"))
        nameApplicationObject(window->winId(), actionsBusName(), ApplicationService::kObjectPath);
    switch (chrome.kind) {
        case WindowChrome::Kind::window:
            break;
        case WindowChrome::Kind::sheet: {
            QPalette palette = window->palette();
            palette.setColor(QPalette::Window, Theme::paper());
            window->setPalette(palette);
            window->setAutoFillBackground(true);
            break;
        }
        case WindowChrome::Kind::pane:
            window->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                   Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint);
            window->setAttribute(Qt::WA_TranslucentBackground, true);
            window->setAttribute(Qt::WA_ShowWithoutActivating, true);
            if (QGuiApplication::platformName() == QLatin1String("xcb")) keepOnEveryWorkspace(window->winId());
            break;
    }
    // A fixed-size window still grows to what its content needs at its width: the desktop's
    // fonts may set a text taller than the window was drawn for, and a clipped line is lost.
    QSize size = chrome.size;
    if (chrome.kind != WindowChrome::Kind::pane && content->hasHeightForWidth())
        size.setHeight(std::max(size.height(), content->heightForWidth(size.width())));
    else if (chrome.kind != WindowChrome::Kind::pane)
        size.setHeight(std::max(size.height(), content->minimumSizeHint().height()));
    window->resize(size);
    if (chrome.minimum.isEmpty()) {
        if (chrome.kind != WindowChrome::Kind::pane) window->setFixedSize(size);
    } else {
        window->setMinimumSize(chrome.minimum);
    }
    return window;
}

QRectF livingPaneFrame(const LivingWindow::Geometry& geometry, const QRectF& available) {
    const double width = std::max(258.0, geometry.width + 44);
    const double height = std::max(76.0, 2.4 * geometry.beingWidth) * 2.0 / 3.0 + 86;
    return {available.right() - geometry.right - width, available.bottom() - geometry.bottom - height, width,
            height};
}

}  // namespace quillfen
