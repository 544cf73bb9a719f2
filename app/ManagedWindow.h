#pragma once

#include <QByteArray>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "UI/WindowSlot.h"

namespace quillfen {

// One kind of window, kept in a slot: built when opened, hidden when the user closes it,
// and then released, so a closed window costs no memory. Its state lives in its model, so
// opening it again builds it as it was, where it was. Used on the main thread.
class ManagedWindow {
public:
    // Makes a new top-level window; nullptr when there is nothing to show in it yet.
    using Builder = std::function<QWidget*()>;
    using Reuse = std::function<void(QWidget&)>;
    enum class Focus { activate, leaveFocus };

    explicit ManagedWindow(std::string name);
    ~ManagedWindow();
    ManagedWindow(const ManagedWindow&) = delete;
    ManagedWindow& operator=(const ManagedWindow&) = delete;

    // Opens the slot: builds on `create`, shows again on `reuseShow`. Returns the slot's
    // action, so an opener can tell a first opening from a repeated one.
    WindowSlotAction present(const Builder& build, const Reuse& configureReuse = {},
                             Focus focus = Focus::activate);
    // The close button's work: the slot is closed and the window released.
    void hide();
    // Tears the window down (at quit); a later present builds a new one.
    void dispose();

    const WindowSlot& slot() const { return slot_; }
    QWidget* window() const { return window_.data(); }

private:
    void release();
    void show(QWidget& window, Focus focus);

    std::string name_;
    WindowSlot slot_;
    QPointer<QWidget> window_;
    // Released windows whose deletion is still on its way; they go with the slot at the latest,
    // so none outlives the models its views draw from.
    std::vector<QPointer<QWidget>> released_;
    // Where the released window stood, for the next build.
    QByteArray geometry_;
    bool emptyLogged_ = false;
};

}  // namespace quillfen
