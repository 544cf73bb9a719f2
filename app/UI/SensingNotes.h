#pragma once

#include <QMargins>
#include <QWidget>
#include <vector>

#include "UI/InspectFacts.h"

class QVBoxLayout;

namespace quillfen {

class SensingNoteBanner;

// What the desktop cannot tell or show, one banner a note ("sensingNote"), in the look of the
// mirror's banners, its command under its line ("command"), on one line, to be selected and copied
// whole; hidden, padding and all, while there is none. Both faces of the rhythm window show it.
class SensingNotes : public QWidget {
    Q_OBJECT
public:
    explicit SensingNotes(QMargins padding, QWidget* parent = nullptr);
    void setNotes(const std::vector<InspectFacts::SensingNote>& notes);

private:
    QVBoxLayout* layout_;
    std::vector<SensingNoteBanner*> banners_;
};

}  // namespace quillfen
