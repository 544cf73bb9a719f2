#pragma once

#include <QColor>
#include <QLabel>
#include <QLocale>
#include <QString>
#include <QWidget>
#include <string>
#include <vector>

#include "Support/Clock.h"
#include "UI/AnimationDriver.h"

namespace quillfen {

class Card;
class InspectModel;
class LoadMeter;
class MeterBar;
class RestraintChip;
class RollingNumber;
class StateChip;
class WeekStrip;

// The developer's view of everything the system sees and why it speaks or stays quiet. It reads
// the inspect model and acts only through its refresh and ask closures.
class DevInspectView : public QWidget {
    Q_OBJECT
public:
    DevInspectView(InspectModel& model, Clock now, QWidget* parent = nullptr,
                   AnimationDriver& driver = AnimationDriver::shared());

    void refresh();
    void setReduceMotion(bool reduce);

    static QColor attentionColor(const std::string& attention);
    // 45m, 1h, 2h 5m.
    static std::string spanLabel(int minutes);
    // The time of day alone, hours to seconds, in the locale's own style.
    static QString timeOfDay(TimePoint t, const QLocale& locale = QLocale::system());

private:
    QWidget* buildTimeCard();
    QWidget* buildReasonsToNudge();
    QWidget* buildRestraint();
    QWidget* buildWeekCard();
    QWidget* buildDecisionCard();
    QWidget* buildWhyCard();
    QWidget* buildRecentCard();
    QWidget* buildAskCard();
    void refreshWhy();
    void refreshRecent();

    InspectModel& model_;
    Clock now_;
    AnimationDriver& driver_;
    bool reduceMotion_ = false;

    RollingNumber* continuousMin_ = nullptr;
    QLabel* fireThreshold_ = nullptr;
    MeterBar* meter_ = nullptr;
    QLabel* meterStatus_ = nullptr;

    QLabel* activeSince_ = nullptr;
    QLabel* longestStretch_ = nullptr;
    QLabel* aiUnavailable_ = nullptr;
    QWidget* aiDetails_ = nullptr;
    RollingNumber* aiSpan_ = nullptr;
    QLabel* aiRun_ = nullptr;
    QLabel* aiLastActive_ = nullptr;
    QLabel* calendarUnavailable_ = nullptr;
    QWidget* calendarDetails_ = nullptr;
    RollingNumber* calMeetings_ = nullptr;
    QLabel* calBusy_ = nullptr;
    LoadMeter* loadMeter_ = nullptr;
    QLabel* loadLabel_ = nullptr;
    StateChip* attention_ = nullptr;
    RollingNumber* switches_ = nullptr;
    RollingNumber* idle_ = nullptr;

    QLabel* restraintNote_ = nullptr;
    RestraintChip* call_ = nullptr;
    RestraintChip* audio_ = nullptr;
    RestraintChip* flow_ = nullptr;
    RestraintChip* power_ = nullptr;

    QLabel* weekCounts_ = nullptr;
    WeekStrip* weekStrip_ = nullptr;
    QLabel* todaySoFar_ = nullptr;

    QWidget* decisionDot_ = nullptr;
    QLabel* decisionTitle_ = nullptr;
    QLabel* decisionReason_ = nullptr;
    QLabel* localLine_ = nullptr;

    QWidget* whyRows_ = nullptr;
    std::vector<std::string> shownWhy_;
    Card* recentCard_ = nullptr;
    QWidget* recentRows_ = nullptr;
    std::vector<std::string> shownRecent_;

    QLabel* cloudStatus_ = nullptr;
    QWidget* cloudReasoningHolder_ = nullptr;
    QLabel* cloudReasoning_ = nullptr;
    QLabel* cloudLine_ = nullptr;
    QLabel* cloudSource_ = nullptr;
    QLabel* cloudHint_ = nullptr;

    QLabel* updated_ = nullptr;
};

}  // namespace quillfen
