#include "support/TarBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillfen::test {

TarBuilder& TarBuilder::entry(char type, std::string_view name, std::string_view contents, std::string_view linkName,
                              std::uint32_t mode) {
    std::string header(512, '\0');
    auto put = [&](std::size_t offset, std::size_t length, std::string_view text) {
        std::copy_n(text.begin(), std::min(length, text.size()), header.begin() + static_cast<long>(offset));
    };
    auto octal = [&](std::size_t offset, std::size_t length, unsigned long long value) {
        char text[24];
        std::snprintf(text, sizeof text, "%0*llo", static_cast<int>(length - 1), value);
        put(offset, length - 1, text);
    };
    put(0, 100, name);
    octal(100, 8, mode);
    octal(124, 12, contents.size());
    octal(136, 12, 1767225600);
    header[156] = type;
    put(157, 100, linkName);
    put(257, 8, std::string_view("ustar\0" "00", 8));
    std::memset(header.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    octal(148, 7, sum);
    data_ += header;
    data_ += contents;
    data_.append((512 - contents.size() % 512) % 512, '\0');
    return *this;
}

TarBuilder& TarBuilder::paxPath(std::string_view path) {
    const std::string record = " path=" + std::string(path) + "\n";
    std::size_t length = record.size() + 1;
    while (std::to_string(length).size() + record.size() != length)
        ++length;
    return entry('x', "PaxHeader", std::to_string(length) + record);
}

}  // namespace quillfen::test
