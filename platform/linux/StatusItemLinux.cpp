#include <QAction>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

#include <memory>
#include <set>

#include "platform/StatusItem.h"

namespace quillfen {

namespace {

// Sizes trays commonly ask for; the host picks the closest and the exact size, when the
// tray tells it, is drawn as well.
constexpr int kCommonSizes[] = {16, 22, 24, 32, 48};

QPixmap pixmapOf(const StatusIconImage& image, double dpr) {
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height))
        return {};
    QImage view(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                image.width * 4, QImage::Format_ARGB32_Premultiplied);
    QPixmap pixmap = QPixmap::fromImage(view.copy());
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

class LinuxStatusItem final : public StatusItem {
public:
    ~LinuxStatusItem() override { hide(); }

    void show(StatusIconPainter painter, std::vector<StatusMenuEntry> menu, StatusItemHandlers handlers) override {
        painter_ = std::move(painter);
        handlers_ = std::move(handlers);
        if (!tray_) {
            tray_ = std::make_unique<QSystemTrayIcon>();
            QObject::connect(tray_.get(), &QSystemTrayIcon::activated, tray_.get(),
                             [this](QSystemTrayIcon::ActivationReason reason) {
                                 if (reason == QSystemTrayIcon::Trigger && handlers_.activated)
                                     handlers_.activated();
                             });
        }
        menu_ = std::make_unique<QMenu>();
        for (const auto& entry : menu) {
            QAction* action = menu_->addAction(QString::fromStdString(entry.label));
            QObject::connect(action, &QAction::triggered, menu_.get(), [this, key = entry.key] {
                if (handlers_.menuChosen) handlers_.menuChosen(key);
            });
        }
        tray_->setContextMenu(menu_.get());
        iconChanged();
        tray_->show();
    }

    void iconChanged() override {
        if (!tray_ || !painter_) return;
        const QScreen* screen = QGuiApplication::primaryScreen();
        const double dpr = screen ? screen->devicePixelRatio() : 1.0;
        std::set<std::pair<int, int>> sizes;
        for (int side : kCommonSizes)
            sizes.insert({side, side});
        QRect placed = tray_->geometry();
        if (placed.isValid() && placed.width() > 0 && placed.height() > 0) sizes.insert({placed.width(), placed.height()});
        QIcon icon;
        for (auto [w, h] : sizes) {
            int pw = static_cast<int>(w * dpr + 0.5), ph = static_cast<int>(h * dpr + 0.5);
            QPixmap pixmap = pixmapOf(painter_(pw, ph, dpr), dpr);
            if (!pixmap.isNull()) icon.addPixmap(pixmap);
        }
        tray_->setIcon(icon);
    }

    void setToolTip(const std::string& text) override {
        toolTip_ = QString::fromStdString(text);
        if (tray_) tray_->setToolTip(toolTip_);
    }

    bool hostAvailable() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }

    std::optional<Geometry> geometry() const override {
        if (!tray_) return std::nullopt;
        QRect r = tray_->geometry();
        if (!r.isValid() || r.isEmpty()) return std::nullopt;
        return Geometry{r.x(), r.y(), r.width(), r.height()};
    }

    void hide() override {
        if (tray_) tray_->hide();
        tray_.reset();
        menu_.reset();
    }

private:
    StatusIconPainter painter_;
    StatusItemHandlers handlers_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    QString toolTip_;
};

}  // namespace

std::unique_ptr<StatusItem> makeStatusItem() {
    return std::make_unique<LinuxStatusItem>();
}

}  // namespace quillfen
