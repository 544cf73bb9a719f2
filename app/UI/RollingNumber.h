#pragma once

#include <QLabel>
#include <functional>

#include "UI/AnimationDriver.h"

namespace quillfen {

// A count shown as text that rolls through the numbers between its old and its new value when
// it changes, so a change is seen as one. The first value, a value set while hidden, and every
// value under reduce motion, is shown at once.
class RollingNumber : public QLabel {
    Q_OBJECT
public:
    using Format = std::function<QString(long long)>;

    explicit RollingNumber(Format format = {}, QWidget* parent = nullptr,
                           AnimationDriver& driver = AnimationDriver::shared());

    void setValue(long long value);
    long long value() const { return value_; }
    void setReduceMotion(bool reduce) { reduceMotion_ = reduce; }

private:
    void display(double shown);

    Format format_;
    AnimatedValue shown_;
    long long value_ = 0;
    bool hasValue_ = false;
    bool reduceMotion_ = false;
};

}  // namespace quillfen
