#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillfen::test {

// Writes tar archives entry by entry, as tar itself would, and also the malformed ones no
// tool would write.
class TarBuilder {
public:
    TarBuilder& file(std::string_view name, std::string_view contents, std::uint32_t mode = 0644);
    TarBuilder& folder(std::string_view name);
    TarBuilder& link(std::string_view name, std::string_view target);
    TarBuilder& hardLink(std::string_view name, std::string_view target);
    // Any header: a type flag, a name, a link name and contents.
    TarBuilder& entry(char type, std::string_view name, std::string_view contents, std::string_view linkName = {},
                      std::uint32_t mode = 0644);
    // A pax extended header naming the next entry.
    TarBuilder& paxPath(std::string_view path);
    // A GNU long-name header for the next entry.
    TarBuilder& gnuLongName(std::string_view name);

    // The archive with its two zero blocks.
    std::string bytes() const;

private:
    std::string data_;
};

}  // namespace quillfen::test
