#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "Support/Clock.h"
#include "UI/AnimationDriver.h"
#include "UI/GlyphMark.h"
#include "UI/RoundedBox.h"

class QHBoxLayout;

namespace quillfen {

class DayAxis;
class DayRhythmStrip;
class FactRow;
class HillLandscape;
class InspectModel;
class MirrorModel;
class NumbersRow;
class SensingNotes;
class StoneBeing;
class WeekdayRow;

// The look both of the mirror's banners share: a small ember dot, the line, on a field-coloured
// rounded box.
class MirrorBanner : public RoundedBox {
    Q_OBJECT
public:
    MirrorBanner(const char* objectName, const QString& line, QWidget* parent = nullptr);
    void setLine(const QString& line);
    QLabel* lineLabel() const { return line_; }

protected:
    QHBoxLayout* row_;
    QLabel* line_;
};

// The system has stopped sensing or deciding.
class DeadmanBanner : public MirrorBanner {
    Q_OBJECT
public:
    explicit DeadmanBanner(const QString& line, QWidget* parent = nullptr);
};

// The user's claude tool cannot serve as the mind; offers to reconnect when it can help.
class MindConnectionBanner : public MirrorBanner {
    Q_OBJECT
public:
    MindConnectionBanner(const QString& line, std::function<void()> reconnect, QWidget* parent = nullptr);
    void setReconnect(std::function<void()> reconnect);

private:
    QPushButton* button_;
    std::function<void()> reconnect_;
};

// The mirror's scrolling content: the greeting with the stone, the reflection, the banners and
// what the desktop cannot tell, today's strip and counts, the week's hills and the facts.
class MirrorPanelContent : public QWidget {
    Q_OBJECT
public:
    MirrorPanelContent(MirrorModel& model, InspectModel& inspect, std::function<void()> onReconnect, Clock now,
                       QWidget* parent = nullptr, AnimationDriver& driver = AnimationDriver::shared());

    void refresh();
    void setReduceMotion(bool reduce);

    static FactRow* glyph(GlyphMark::Kind kind, const QString& title, const QString& text);
    static std::vector<std::string> weekdayLabels(TimePoint now);

private:
    MirrorModel& model_;
    InspectModel& inspect_;
    std::function<void()> onReconnect_;
    Clock now_;
    StoneBeing* stone_;
    QLabel* reflection_;
    QWidget* reflectionHolder_;
    DeadmanBanner* deadman_;
    QWidget* deadmanHolder_;
    MindConnectionBanner* connection_;
    QWidget* connectionHolder_;
    SensingNotes* sensing_;
    DayRhythmStrip* strip_;
    DayAxis* axis_;
    NumbersRow* numbers_;
    QLabel* decisions_;
    QWidget* decisionsHolder_;
    HillLandscape* hills_;
    WeekdayRow* weekdays_;
    FactRow* atScreen_;
    FactRow* thisWeek_;
    FactRow* rightNow_;
    FactRow* outside_;
    FactRow* browser_;
    FactRow* held_;
    FactRow* timesSpoken_;
};

// The rhythm window's content while the system only observes: the mirror over a footer with the
// settings and quit actions. An action left unset shows no button; with neither, no footer.
class MirrorPanel : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> onSettings;
        std::function<void()> onQuit;
        std::function<void()> onReconnect;
    };

    MirrorPanel(MirrorModel& model, InspectModel& inspect, Actions actions, Clock now, QWidget* parent = nullptr,
                AnimationDriver& driver = AnimationDriver::shared());

    MirrorPanelContent* content() const { return content_; }
    void setReduceMotion(bool reduce) { content_->setReduceMotion(reduce); }

private:
    MirrorPanelContent* content_;
};

}  // namespace quillfen
