#include <QAction>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
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

const QString kStatusNotifierWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
// What Qt's X11 layer says when an XEmbed tray comes or goes (it also puts the icon there then).
constexpr const char* kXEmbedTrayChanged = "systemTrayWindowChanged(QScreen*)";

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

// Where news of a tray host arrives, from the bus or from the toolkit's X11 layer by name.
class HostNews final : public QObject {
    Q_OBJECT
public:
    std::function<void()> onNews;
public slots:
    void heard() {
        if (onNews) onNews();
    }
};

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

    Subscription subscribeToHost(std::function<void()> onChange) override {
        if (!hostWatch_) watchHosts();
        return hostListeners_.add(std::move(onChange));
    }

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
    // The toolkit shows the icon wherever a host comes, but says so to nobody: the ways a host
    // comes and goes are heard here, and each time the toolkit is asked again.
    void watchHosts() {
        hostWatch_ = std::make_unique<HostNews>();
        hostKnown_ = hostAvailable();
        hostWatch_->onNews = [this] {
            // After the toolkit's own handling of the same news, which its answer depends on.
            QMetaObject::invokeMethod(
                hostWatch_.get(),
                [this] {
                    const bool available = hostAvailable();
                    if (available == hostKnown_) return;
                    hostKnown_ = available;
                    hostListeners_.notify();
                },
                Qt::QueuedConnection);
        };
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            auto* watcher = new QDBusServiceWatcher(
                kStatusNotifierWatcher, bus, QDBusServiceWatcher::WatchForOwnerChange, hostWatch_.get());
            QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, hostWatch_.get(),
                             &HostNews::heard);
        }
        // The X11 layer's interface is a QObject that the public headers only name.
        auto* x11 = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
        if (x11 != nullptr && x11->metaObject()->indexOfSignal(kXEmbedTrayChanged) >= 0)
            QObject::connect(x11, SIGNAL(systemTrayWindowChanged(QScreen*)), hostWatch_.get(), SLOT(heard()));
    }

    StatusIconPainter painter_;
    StatusItemHandlers handlers_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> menu_;
    QString toolTip_;
    std::unique_ptr<HostNews> hostWatch_;
    bool hostKnown_ = false;
    ListenerList<> hostListeners_;
};

}  // namespace

std::unique_ptr<StatusItem> makeStatusItem() {
    return std::make_unique<LinuxStatusItem>();
}

}  // namespace quillfen

#include "StatusItemLinux.moc"
