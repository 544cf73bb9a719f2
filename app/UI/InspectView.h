#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "Support/Clock.h"
#include "UI/GlyphMark.h"

namespace quillfen {

class HillLandscape;
class InspectModel;
class SensingNotes;

// One fact: its glyph, a title over its text, and a hairline along its top edge.
class FactRow : public QWidget {
    Q_OBJECT
public:
    FactRow(GlyphMark::Kind kind, const QString& title, const QString& text, QWidget* parent = nullptr);
    void setText(const QString& text);
    // Shown with the fact's words, hidden while there is no fact.
    void setFact(const std::optional<std::string>& fact);
    QLabel* titleLabel() const { return title_; }
    QLabel* textLabel() const { return text_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* rule_;
    QLabel* title_;
    QLabel* text_;
};

// The seven day labels under the hills, spread so that "today" sits at the right edge.
class WeekdayRow : public QWidget {
    Q_OBJECT
public:
    explicit WeekdayRow(QWidget* parent = nullptr);
    void setLabels(const std::vector<std::string>& labels);
    std::vector<QLabel*> labels() const { return labels_; }

private:
    std::vector<QLabel*> labels_;
};

// What the system never sees, in one paragraph; it wraps but never grows wider than 460.
QWidget* makePrivacyLine();

// The inspect window's content without its scroll view: heading, what the desktop cannot tell,
// hills, weekdays, the facts and the privacy line.
class InspectList : public QWidget {
    Q_OBJECT
public:
    InspectList(InspectModel& model, Clock now, QWidget* parent = nullptr);
    void refresh();

private:
    InspectModel& model_;
    Clock now_;
    HillLandscape* hills_;
    WeekdayRow* weekdays_;
    SensingNotes* sensing_;
    FactRow* atScreen_;
    FactRow* thisWeek_;
    FactRow* rightNow_;
    FactRow* outside_;
    FactRow* browser_;
    FactRow* timesSpoken_;
};

// The user's plain explanation of what the system sees, in the rhythm window while it may
// nudge. It reads the model and has no actions.
class InspectView : public QWidget {
    Q_OBJECT
public:
    InspectView(InspectModel& model, Clock now, QWidget* parent = nullptr);
    InspectList* list() const { return list_; }

    // One fact row; the caller names it after the field it shows.
    static FactRow* glyph(GlyphMark::Kind kind, const QString& title, const QString& text);
    // The labels under the hills, oldest day first and "today" last.
    static std::vector<std::string> weekdayLabels(TimePoint now);

private:
    InspectList* list_;
};

}  // namespace quillfen
