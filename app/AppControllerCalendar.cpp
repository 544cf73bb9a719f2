#include "AppController.h"

namespace quillfen {

void AppController::evaluateCalendarBreak(int loopsToday) {
    if (calendarBreakRunning_ || !calendarBreak_) return;
    // The user defaults are this thread's: the gate is read here, the calendar off it.
    const auto gate = calendarBreak_->open();
    if (!gate) return;
    QPointer<AppController> self(this);
    auto scheduler = calendarBreak_;
    calendarBreakRunning_ = work_->run<CalendarBreakScheduler::Attempt>(
        "the calendar break",
        [scheduler, gate = *gate, loopsToday](std::stop_token) { return scheduler->attempt(gate, loopsToday); },
        [self, scheduler](CalendarBreakScheduler::Attempt attempt) {
            if (!self) return;
            scheduler->close(attempt);
            self->calendarBreakRunning_ = false;
        });
}

}  // namespace quillfen
