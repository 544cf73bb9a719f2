// face-feedback.json in any state: the verdicts read, and a new one is kept within the cap.
#include <memory>

#include "Feedback/FaceFeedbackLog.h"
#include "FuzzSupport.h"

using namespace quillfen;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto store = std::make_shared<fuzz::MemoryLogStore>(std::string(fuzz::asText(data, size)));
    FaceFeedbackLog log(store, 3);
    (void)log.all();

    FaceFeedbackRecord record;
    record.at = fuzz::fixedNow();
    record.reflection = "a long afternoon";
    record.label = FaceFeedbackLabel::nay;
    if (log.append(record)) {
        const auto kept = log.all();
        if (kept.empty() || kept.size() > 3 || !(kept.back() == record))
            fuzz::fail("the appended verdict is not the newest of at most three");
    }
    return 0;
}
