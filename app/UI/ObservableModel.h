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

    // Holds the model's notices while it lives and tells the views once at its end, when anything
    // changed: fields published together reach the views together, never half of them.
    class Batch {
    public:
        explicit Batch(ObservableModel& model) : model_(model) { ++model_.batchDepth_; }
        ~Batch() {
            if (--model_.batchDepth_ > 0 || !model_.changedInBatch_) return;
            model_.changedInBatch_ = false;
            emit model_.changed();
        }
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        ObservableModel& model_;
    };

signals:
    void changed();

protected:
    // Stores `value` and tells the views, when it differs from what was there.
    template <typename T, typename U>
    bool assign(T& field, U&& value) {
        if (field == value) return false;
        field = std::forward<U>(value);
        notifyChanged();
        return true;
    }

    // Tells the views now, or at the end of the running batch.
    void notifyChanged() {
        if (batchDepth_ > 0) {
            changedInBatch_ = true;
            return;
        }
        emit changed();
    }

private:
    int batchDepth_ = 0;
    bool changedInBatch_ = false;
};

}  // namespace quillfen
