#pragma once

#include <QMargins>
#include <QWidget>
#include <string>
#include <vector>

class QVBoxLayout;

namespace quillfen {

class MirrorBanner;

// What the desktop cannot tell, one banner a line ("sensingNote"), in the look of the mirror's
// banners; hidden, padding and all, while there is none. Both faces of the rhythm window show it.
class SensingNotes : public QWidget {
    Q_OBJECT
public:
    explicit SensingNotes(QMargins padding, QWidget* parent = nullptr);
    void setNotes(const std::vector<std::string>& notes);

private:
    QVBoxLayout* layout_;
    std::vector<MirrorBanner*> banners_;
};

}  // namespace quillfen
