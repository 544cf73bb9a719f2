#include "UI/OnboardingModel.h"

#include <QPointer>
#include <QThread>

#include <iterator>
#include <variant>

#include "Promise/PromiseCatalog.h"

namespace quillfen {

namespace {

// The controller hops to the main thread before it answers; the model does no hopping.
bool stillHere(const QPointer<OnboardingModel>& model) {
    if (!model) return false;
    Q_ASSERT(model->thread() == QThread::currentThread());
    return true;
}

}  // namespace

OnboardingModel::OnboardingModel(OnboardingBeat beat, Entry entry, Clock now, QObject* parent)
    : ObservableModel(parent), beat_(beat), entry_(entry), now_(std::move(now)) {}

bool OnboardingModel::reusable(const OnboardingModel* open, Entry entry) {
    return open != nullptr && open->entry() == entry;
}

void OnboardingModel::setBeat(OnboardingBeat beat) {
    beatTransition_ = std::chrono::milliseconds{0};
    assign(beat_, beat);
}

void OnboardingModel::setIdentity(StoneIdentity identity) {
    assign(identity_, std::move(identity));
}

void OnboardingModel::setInTray(bool inTray) {
    assign(inTray_, inTray);
}

void OnboardingModel::setReading(std::optional<WorkReading> reading) {
    assign(reading_, std::move(reading));
}
void OnboardingModel::setSources(std::vector<WorkSource> sources) {
    assign(sources_, std::move(sources));
}
void OnboardingModel::setCalendarGrant(ContextGrantState state) {
    assign(calendarGrant_, state);
}
void OnboardingModel::setWeatherGrant(ContextGrantState state) {
    assign(weatherGrant_, state);
}
void OnboardingModel::setBoundary(InterruptBoundary boundary) {
    assign(boundary_, boundary);
}
void OnboardingModel::setDayChoiceIndex(std::optional<int> index) {
    assign(dayChoiceIndex_, index);
}
void OnboardingModel::setDayCustom(std::string text) {
    assign(dayCustom_, std::move(text));
}
void OnboardingModel::setDayIsCustom(bool custom) {
    assign(dayIsCustom_, custom);
}
void OnboardingModel::setPickedMoveIds(std::set<std::string> ids) {
    assign(pickedMoveIds_, std::move(ids));
}
void OnboardingModel::setMoveCustom(std::string text) {
    assign(moveCustom_, std::move(text));
}
void OnboardingModel::setMoveCustomOn(bool on) {
    assign(moveCustomOn_, on);
}

std::string OnboardingModel::dayPhrase() const {
    if (dayIsCustom_) return PromiseCatalog::normalize(dayCustom_);
    const auto& presets = PromiseCatalog::dayPresets;
    if (dayChoiceIndex_ && *dayChoiceIndex_ >= 0 && *dayChoiceIndex_ < static_cast<int>(std::size(presets))) {
        return std::string(presets[*dayChoiceIndex_]);
    }
    return {};
}

std::vector<PromiseMove> OnboardingModel::draftMoves() const {
    std::vector<PromiseMove> moves;
    for (const auto& preset : PromiseCatalog::movePresets) {
        if (pickedMoveIds_.count(std::string(preset.id)) != 0) {
            moves.push_back({Uuid::random(), preset.label, std::string(preset.phrase)});
        }
    }
    if (moveCustomOn_) {
        if (std::string own = PromiseCatalog::normalize(moveCustom_); !own.empty()) {
            moves.push_back({Uuid::random(), PromiseCatalog::writeYourOwnLabel, std::move(own)});
        }
    }
    return moves;
}

std::string OnboardingModel::previewMove() const {
    auto moves = draftMoves();
    return moves.empty() ? std::string() : moves.front().phrase;
}

bool OnboardingModel::canKeepPromise() const {
    return std::holds_alternative<Promise>(PromiseCatalog::buildPromise(dayPhrase(), draftMoves(), now_()));
}

void OnboardingModel::moveTo(std::optional<OnboardingBeat> target) {
    if (!target) return;
    beatTransition_ = reduceMotion_ ? std::chrono::milliseconds{0} : kStepTransition;
    assign(beat_, *target);
}

void OnboardingModel::advance() {
    moveTo(OnboardingBeats::next(beat_));
}

void OnboardingModel::back() {
    moveTo(OnboardingBeats::previous(beat_));
}

OnboardingModel::GrantAnswer OnboardingModel::grantAnswer(ContextGrantState OnboardingModel::*grant) {
    return [self = QPointer<OnboardingModel>(this), grant](bool granted) {
        if (!stillHere(self)) return;
        self->assign(self.data()->*grant, granted ? ContextGrantState::allowed : ContextGrantState::declined);
    };
}

void OnboardingModel::allowCalendar() {
    requestCalendar(grantAnswer(&OnboardingModel::calendarGrant_));
}

void OnboardingModel::allowWeather() {
    requestWeather(grantAnswer(&OnboardingModel::weatherGrant_));
}

void OnboardingModel::allowNotifications() {
    requestNotifications([self = QPointer<OnboardingModel>(this), asked = beat_] {
        if (!stillHere(self) || self->beat_ != asked) return;
        self->advance();
    });
}

void OnboardingModel::keepNotificationsInside() {
    declineNotifications();
    advance();
}

void OnboardingModel::finishPromise() {
    if (entry_ == Entry::changeNote) {
        onDone();
        return;
    }
    advance();
}

bool OnboardingModel::keepPromise() {
    if (beat_ != OnboardingBeat::promise) return false;
    auto built = PromiseCatalog::buildPromise(dayPhrase(), draftMoves(), now_());
    const auto* promise = std::get_if<Promise>(&built);
    if (promise == nullptr) return false;
    const bool written = save(*promise);
    assign(keepFailed_, !written);
    if (written) finishPromise();
    return written;
}

}  // namespace quillfen
