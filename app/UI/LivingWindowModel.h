#pragma once

#include <QString>

#include "Stone/StoneIdentity.h"
#include "UI/ObservableModel.h"

namespace quillfen {

// The desktop pane's state: the week's strain, whether the pane is aggravated, the line of
// words under the stone, and whose stone it is.
class LivingWindowModel : public ObservableModel {
    Q_OBJECT
public:
    explicit LivingWindowModel(const StoneIdentity& identity, QObject* parent = nullptr)
        : ObservableModel(parent), identity_(identity) {}

    double score() const { return score_; }
    bool aggravated() const { return aggravated_; }
    const QString& ceilingLine() const { return ceilingLine_; }
    const StoneIdentity& identity() const { return identity_; }

    void setScore(double score) { assign(score_, score); }
    void setAggravated(bool aggravated) { assign(aggravated_, aggravated); }
    void setCeilingLine(const QString& line) { assign(ceilingLine_, line); }
    void setIdentity(const StoneIdentity& identity) { assign(identity_, identity); }

private:
    double score_ = 0;
    bool aggravated_ = false;
    QString ceilingLine_;
    StoneIdentity identity_;
};

}  // namespace quillfen
