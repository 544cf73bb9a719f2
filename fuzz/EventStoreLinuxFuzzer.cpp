// A calendar folder holding any .ics file a sync tool or a crash left: today's events and the
// calendar signal are read.
#include "FuzzSupport.h"
#include "Signals/CalendarReader.h"
#include "Support/LocalCalendar.h"
#include "platform/linux/EventStoreLinux.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = fuzz::scratch() / "calendar";
    fuzz::writeFile(folder / "event.ics", fuzz::asText(data, size), fuzz::fixedNow());
    EventStoreLinux store(folder, fuzz::fixedClock());
    const TimePoint dayStart = LocalCalendar::startOfDay(fuzz::fixedNow());
    (void)store.events(dayStart, LocalCalendar::startOfDayOffset(fuzz::fixedNow(), 1));
    (void)store.events(LocalCalendar::startOfDayOffset(fuzz::fixedNow(), -7), fuzz::fixedNow());
    (void)CalendarReader::read(store, fuzz::fixedNow());
    return 0;
}
