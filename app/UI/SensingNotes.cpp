#include "UI/SensingNotes.h"

#include <QVBoxLayout>

#include "UI/MirrorPanel.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

SensingNotes::SensingNotes(QMargins padding, QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("sensingNotes"));
    layout_->setContentsMargins(padding);
    layout_->setSpacing(8);
    setVisible(false);
}

// A banner no longer needed is hidden, not deleted: the notes come and go with the ticks.
void SensingNotes::setNotes(const std::vector<std::string>& notes) {
    while (banners_.size() < notes.size()) {
        banners_.push_back(new MirrorBanner("sensingNote", {}));
        layout_->addWidget(banners_.back());
    }
    for (std::size_t i = 0; i < banners_.size(); ++i) {
        banners_[i]->setVisible(i < notes.size());
        if (i < notes.size()) banners_[i]->setLine(ViewBuilding::text(notes[i]));
    }
    setVisible(!notes.empty());
}

}  // namespace quillfen
