#include "UI/RollingNumber.h"

#include <cmath>

namespace quillfen {

namespace {

const Animation& rollCurve() {
    static const Animation curve = Animation::easeInOut(0.45);
    return curve;
}

}  // namespace

RollingNumber::RollingNumber(Format format, QWidget* parent, AnimationDriver& driver)
    : QLabel(parent),
      format_(format ? std::move(format) : Format([](long long v) { return QString::number(v); })),
      shown_(driver, 0) {
    setTextFormat(Qt::PlainText);
    shown_.setOnChange([this] { display(shown_.value()); });
    display(0);
}

void RollingNumber::setValue(long long value) {
    if (hasValue_ && value == value_) return;
    value_ = value;
    // Each frame shows a whole number on the way; the last one is the value itself. A window
    // that opens on a full model shows its numbers as they are, without rolling up from zero.
    const bool atOnce = reduceMotion_ || !hasValue_ || !isVisible();
    shown_.moveTo(static_cast<double>(value), rollCurve(), atOnce, 1.0 / 30.0);
    hasValue_ = true;
    display(shown_.value());
}

void RollingNumber::display(double shown) {
    const long long whole = shown_.moving() ? std::llround(shown) : value_;
    setText(format_(whole));
}

}  // namespace quillfen
