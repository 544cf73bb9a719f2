#include "support/TarBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quillfen::test {

namespace {

void put(std::string& header, std::size_t offset, std::size_t length, std::string_view text) {
    std::memcpy(header.data() + offset, text.data(), std::min(length, text.size()));
}

void putOctal(std::string& header, std::size_t offset, std::size_t length, std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%0*llo", static_cast<int>(length - 1), static_cast<unsigned long long>(value));
    put(header, offset, length - 1, text);
}

}  // namespace

TarBuilder& TarBuilder::entry(char type, std::string_view name, std::string_view contents,
                              std::string_view linkName, std::uint32_t mode) {
    std::string header(512, '\0');
    put(header, 0, 100, name);
    putOctal(header, 100, 8, mode);
    putOctal(header, 108, 8, 1000);
    putOctal(header, 116, 8, 1000);
    putOctal(header, 124, 12, contents.size());
    putOctal(header, 136, 12, 1767225600);
    header[156] = type;
    put(header, 157, 100, linkName);
    put(header, 257, 6, std::string_view("ustar\0", 6));
    put(header, 263, 2, "00");
    std::memset(header.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (unsigned char c : header)
        sum += c;
    char text[8];
    std::snprintf(text, sizeof text, "%06o", sum);
    put(header, 148, 7, text);
    header[154] = '\0';
    data_ += header;
    data_ += contents;
    data_.append((512 - contents.size() % 512) % 512, '\0');
    return *this;
}

TarBuilder& TarBuilder::file(std::string_view name, std::string_view contents, std::uint32_t mode) {
    return entry('0', name, contents, {}, mode);
}

TarBuilder& TarBuilder::folder(std::string_view name) {
    return entry('5', name, {}, {}, 0755);
}

TarBuilder& TarBuilder::link(std::string_view name, std::string_view target) {
    return entry('2', name, {}, target, 0777);
}

TarBuilder& TarBuilder::hardLink(std::string_view name, std::string_view target) {
    return entry('1', name, {}, target);
}

TarBuilder& TarBuilder::paxPath(std::string_view path) {
    std::string body = " path=" + std::string(path) + "\n";
    std::size_t length = body.size();
    while (std::to_string(length).size() + body.size() != length)
        length = std::to_string(length).size() + body.size();
    return entry('x', "PaxHeader", std::to_string(length) + body);
}

TarBuilder& TarBuilder::gnuLongName(std::string_view name) {
    return entry('L', "././@LongLink", std::string(name) + '\0');
}

std::string TarBuilder::bytes() const {
    return data_ + std::string(1024, '\0');
}

}  // namespace quillfen::test
