#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Subscription.h"

namespace quillfen {

// An icon as pixels: premultiplied ARGB, 32 bits a pixel, rows top to bottom.
struct StatusIconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    bool operator==(const StatusIconImage&) const = default;
};

// Draws the icon at a size in device pixels, for a screen of the given device pixel ratio.
using StatusIconPainter = std::function<StatusIconImage(int width, int height, double devicePixelRatio)>;

struct StatusMenuEntry {
    std::string key;
    std::string label;
    bool operator==(const StatusMenuEntry&) const = default;
};

// What the user does with the item. Called on the main thread.
struct StatusItemHandlers {
    std::function<void()> activated;
    std::function<void(const std::string& key)> menuChosen;
};

// The application's icon in the desktop's tray (its status area). Used on the main thread.
class StatusItem {
public:
    virtual ~StatusItem() = default;

    // Shows the item with its context menu. Where no tray host runs yet, the item waits for
    // one and appears when it comes.
    virtual void show(StatusIconPainter painter, std::vector<StatusMenuEntry> menu, StatusItemHandlers handlers) = 0;
    // The drawing changed: the painter is asked again, at the sizes the tray wants.
    virtual void iconChanged() = 0;
    virtual void setToolTip(const std::string& text) = 0;
    // Whether a tray host shows the item now.
    virtual bool hostAvailable() const = 0;
    // Called on the main thread when `hostAvailable` changes: a tray host came or went.
    virtual Subscription subscribeToHost(std::function<void()> onChange) = 0;
    // The item's place on the screen in device-independent pixels, when the tray tells it.
    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    virtual std::optional<Geometry> geometry() const = 0;
    virtual void hide() = 0;
};

// A StatusNotifierItem where a watcher runs on the session bus, else an XEmbed tray icon.
// Needs a QApplication.
std::unique_ptr<StatusItem> makeStatusItem();

}  // namespace quillfen
