#pragma once

#include <QAbstractButton>

#include "UI/AnimationDriver.h"

namespace quillfen {

// The switch at one instant: `knob` runs from 0 (off, at the leading end) to 1 (on).
struct MossToggleState {
    double knob = 0;
};

// A capsule track, moss when on and field when off, with a white knob that slides between
// its ends.
void paintMossToggle(QPainter& painter, const QRectF& box, const MossToggleState& state);

// The small capsule switch of the settings rows. A press flips it with a short slide and
// tells `toggled`; `setOn` shows a value from outside without telling anyone.
class MossToggle : public QAbstractButton {
    Q_OBJECT
public:
    explicit MossToggle(bool on = false, QWidget* parent = nullptr, AnimationDriver& driver = AnimationDriver::shared());

    bool isOn() const { return isChecked(); }
    void setOn(bool on);
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }
    MossToggleState state() const { return {knob_.value()}; }

    QSize sizeHint() const override { return {38, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override;

private:
    void describe();

    AnimatedValue knob_;
    bool reduceMotion_ = false;
};

}  // namespace quillfen
