#pragma once

#include <map>
#include <string>
#include <variant>

#include "platform/UserDefaults.h"

namespace quillfen::test {

// User defaults held in memory; `values` is open for a test to seed and inspect.
class MemoryUserDefaults final : public UserDefaults {
public:
    using Value = std::variant<std::string, bool, std::int64_t>;
    std::map<std::string, Value, std::less<>> values;

    std::optional<std::string> string(std::string_view key) const override { return get<std::string>(key); }
    std::optional<bool> boolean(std::string_view key) const override { return get<bool>(key); }
    std::optional<std::int64_t> integer(std::string_view key) const override { return get<std::int64_t>(key); }

    void setString(std::string_view key, std::string_view value) override {
        values[std::string(key)] = std::string(value);
    }
    void setBoolean(std::string_view key, bool value) override { values[std::string(key)] = value; }
    void setInteger(std::string_view key, std::int64_t value) override { values[std::string(key)] = value; }
    void remove(std::string_view key) override {
        if (auto it = values.find(key); it != values.end()) values.erase(it);
    }

private:
    template <typename T>
    std::optional<T> get(std::string_view key) const {
        auto it = values.find(key);
        if (it == values.end() || !std::holds_alternative<T>(it->second)) return std::nullopt;
        return std::get<T>(it->second);
    }
};

}  // namespace quillfen::test
