#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillfen::test {

// Writes tar archives entry by entry as tar does, the malformed ones no tool would write too.
class TarBuilder {
public:
    // Any header: a type flag ('0' file, '5' folder, '2' link, '1' hard link, ...).
    TarBuilder& entry(char type, std::string_view name, std::string_view contents = {},
                      std::string_view linkName = {}, std::uint32_t mode = 0644);
    TarBuilder& file(std::string_view name, std::string_view contents, std::uint32_t mode = 0644) {
        return entry('0', name, contents, {}, mode);
    }
    TarBuilder& link(std::string_view name, std::string_view target) { return entry('2', name, {}, target); }
    // Names the next entry through a pax extended header, or a GNU long-name header.
    TarBuilder& paxPath(std::string_view path);
    TarBuilder& gnuLongName(std::string_view name) { return entry('L', "././@LongLink", std::string(name) + '\0'); }

    std::string bytes() const { return data_ + std::string(1024, '\0'); }

private:
    std::string data_;
};

}  // namespace quillfen::test
