#pragma once

#include <QObject>
#include <utility>

namespace quillfen {

// A model that views observe: plain fields behind setters that tell `changed()` once per
// real change. The controller fills the fields and the callbacks; views read and call.
class ObservableModel : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void changed();

protected:
    // Stores `value` and tells the views, when it differs from what was there.
    template <typename T, typename U>
    bool assign(T& field, U&& value) {
        if (field == value) return false;
        field = std::forward<U>(value);
        emit changed();
        return true;
    }
};

}  // namespace quillfen
