#include "UI/SensingNotes.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "UI/MirrorPanel.h"
#include "UI/Theme.h"
#include "UI/ViewBuilding.h"

namespace quillfen {

class SensingNoteBanner final : public MirrorBanner {
public:
    SensingNoteBanner()
        : MirrorBanner("sensingNote", {}),
          command_(ViewBuilding::label("command", Theme::mono(11), Theme::ink())) {
        command_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        command_->setCursor(Qt::IBeamCursor);
        row_->removeWidget(line_);
        auto* words = new QVBoxLayout;
        words->setSpacing(6);
        words->addWidget(line_);
        words->addWidget(command_);
        row_->addLayout(words, 1);
    }

    void setNote(const InspectFacts::SensingNote& note) {
        setLine(ViewBuilding::text(note.line));
        command_->setText(ViewBuilding::text(note.command));
        command_->setVisible(!note.command.empty());
    }

private:
    QLabel* command_;
};

SensingNotes::SensingNotes(QMargins padding, QWidget* parent)
    : QWidget(parent), layout_(new QVBoxLayout(this)) {
    setObjectName(QStringLiteral("sensingNotes"));
    layout_->setContentsMargins(padding);
    layout_->setSpacing(8);
    setVisible(false);
}

// A banner no longer needed is hidden, not deleted: the notes come and go with the ticks.
void SensingNotes::setNotes(const std::vector<InspectFacts::SensingNote>& notes) {
    while (banners_.size() < notes.size()) {
        banners_.push_back(new SensingNoteBanner);
        layout_->addWidget(banners_.back());
    }
    for (std::size_t i = 0; i < banners_.size(); ++i) {
        banners_[i]->setVisible(i < notes.size());
        if (i < notes.size()) banners_[i]->setNote(notes[i]);
    }
    setVisible(!notes.empty());
}

}  // namespace quillfen
