#include "Feedback/FaceFeedbackLog.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "Support/EnumTable.h"
#include "Support/JsonFields.h"
#include "Support/JsonText.h"

namespace quillfen {

namespace {

constexpr EnumName<FaceFeedbackLabel> kFaceFeedbackLabelNames[] = {{FaceFeedbackLabel::yay, "yay"},
                                                                   {FaceFeedbackLabel::nay, "nay"}};

nlohmann::json recordToJson(const FaceFeedbackRecord& r) {
    return {
        {"at", ReferenceDate::secondsSince2001(r.at)},
        {"shownTier", std::string(toString(r.shownTier))},
        {"reflection", r.reflection},
        {"loopWasLive", r.loopWasLive},
        {"label", std::string(toString(r.label))},
        {"switchesPerHour", r.switchesPerHour},
        {"pullsFastWindow", r.pullsFastWindow},
        {"pullsSlowWindow", r.pullsSlowWindow},
        {"continuousActiveMinutes", r.continuousActiveMinutes},
        {"hourOfDay", r.hourOfDay},
        {"onBattery", r.onBattery},
    };
}

FaceFeedbackRecord recordFromJson(const nlohmann::json& j) {
    using namespace JsonFields;
    FaceFeedbackRecord r;
    r.at = asReferenceDate(field(j, "at"));
    r.shownTier = asEnum(field(j, "shownTier"), faceTierFrom);
    r.reflection = asString(field(j, "reflection"));
    r.loopWasLive = asBool(field(j, "loopWasLive"));
    r.label = asEnum(field(j, "label"), faceFeedbackLabelFrom);
    r.switchesPerHour = asInt64(field(j, "switchesPerHour"));
    r.pullsFastWindow = asInt64(field(j, "pullsFastWindow"));
    r.pullsSlowWindow = asInt64(field(j, "pullsSlowWindow"));
    r.continuousActiveMinutes = asInt64(field(j, "continuousActiveMinutes"));
    r.hourOfDay = asInt64(field(j, "hourOfDay"));
    r.onBattery = asBool(field(j, "onBattery"));
    return r;
}

std::optional<std::vector<FaceFeedbackRecord>> decodeRecords(std::string_view bytes) {
    auto json = JsonText::decode(bytes);
    if (!json || !json->is_array()) return std::nullopt;
    std::vector<FaceFeedbackRecord> records;
    records.reserve(json->size() + 1);
    try {
        for (const auto& item : *json)
            records.push_back(recordFromJson(item));
    } catch (const JsonFields::Invalid&) {
        return std::nullopt;
    }
    return records;
}

}  // namespace

std::string_view toString(FaceFeedbackLabel label) {
    return enumName(label, kFaceFeedbackLabelNames);
}
std::optional<FaceFeedbackLabel> faceFeedbackLabelFrom(std::string_view raw) {
    return enumFromName(raw, kFaceFeedbackLabelNames);
}

FaceFeedbackLog::FaceFeedbackLog(std::shared_ptr<LogStore> store, std::int64_t maxRecords)
    : store_(std::move(store)), maxRecords_(maxRecords) {}

bool FaceFeedbackLog::append(const FaceFeedbackRecord& record) {
    std::vector<FaceFeedbackRecord> records = all();
    records.push_back(record);
    std::size_t keep = static_cast<std::size_t>(std::max<std::int64_t>(maxRecords_, 0));
    if (records.size() > keep)
        records.erase(records.begin(), records.end() - static_cast<std::ptrdiff_t>(keep));

    nlohmann::json array = nlohmann::json::array();
    for (const auto& r : records)
        array.push_back(recordToJson(r));
    auto text = JsonText::encode(array);
    // Earlier verdicts that could not be read are kept beside the file rather than replaced.
    return text && !store_->write(*text);
}

std::vector<FaceFeedbackRecord> FaceFeedbackLog::all() const {
    auto bytes = store_->read();
    if (!bytes) return {};
    auto records = decodeRecords(*bytes);
    if (!records) {
        store_->markUndecodable();
        return {};
    }
    return std::move(*records);
}

std::size_t FaceFeedbackLog::count() const {
    return all().size();
}

}  // namespace quillfen
