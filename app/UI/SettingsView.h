#pragma once

#include <QWidget>
#include <functional>
#include <utility>
#include <vector>

#include "UI/AnimationDriver.h"
#include "UI/SettingsModel.h"

class QLabel;

namespace quillfen {

class MossToggle;
class ParagraphLabel;
class PlainTextButton;

// The settings window's content: a heading, six rows of switches and notes, and a footer line.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(SettingsModel& model, QWidget* parent = nullptr,
                          AnimationDriver& driver = AnimationDriver::shared());

    void setReduceMotion(bool reduce);
    // The fixed width, and the height the wrapped texts need at it: more than a window of 420
    // points holds with this desktop's fonts, so the settings window takes this size instead.
    QSize sizeHint() const override;

    // One row: a title over a sub-line, and the trailing control (none for a note only).
    static QWidget* row(const QString& title, ParagraphLabel* sub, QWidget* trailing, QWidget* parent);

protected:
    bool event(QEvent* event) override;

private:
    using Reader = std::function<bool(const SettingsModel&)>;
    using Writer = std::function<void(SettingsModel&, bool)>;
    using Callback = std::function<const std::function<void(bool)>&(const SettingsModel&)>;
    // A switch bound to one field: a press writes the field, then calls the callback.
    MossToggle* bind(const char* name, Reader read, Writer write, Callback callback);
    void refresh();

    SettingsModel& model_;
    AnimationDriver& driver_;
    std::vector<std::pair<MossToggle*, Reader>> toggles_;
    ParagraphLabel* loginSub_;
    ParagraphLabel* selfUpdateSub_;
    ParagraphLabel* faceSub_;
    ParagraphLabel* healthSub_;
    QWidget* faceOn_;
    PlainTextButton* install_;
};

}  // namespace quillfen
