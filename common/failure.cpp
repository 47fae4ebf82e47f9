#include "common/failure.h"

#include <cstdio>

namespace pedsim::common {

namespace {

std::string placed(const Place& place, const std::string& message)
{
    if (place.file.empty()) return message;
    if (place.line == 0) return place.file + ": " + message;
    return place.file + ": line " + std::to_string(place.line) + ": " + message;
}

}  // namespace

Failure::Failure(ExitStatus status, const std::string& message)
    : std::runtime_error(message), status_(status), message_(message)
{}

Failure::Failure(ExitStatus status, Place place, const std::string& message)
    : std::runtime_error(placed(place, message)), status_(status), place_(std::move(place)),
      message_(message)
{}

namespace {

// The length of the printable character at the start of `text`: 1 for
// printable ASCII, 2 to 4 for a whole, well-formed UTF-8 sequence (names
// such as "Müller" stay readable); 0 for a control character, DEL, or a byte
// that starts no whole sequence.
std::size_t utf8_sequence_length(std::string_view text)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(0);
    if (lead >= 0x20 && lead < 0x7f) return 1;
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                               : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                              : 0;
    if (length == 0 || text.size() < length) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xc0) != 0x80) return 0;
    return length;
}

}  // namespace

std::string printable(std::string_view text, std::size_t shown)
{
    const std::string_view head = text.substr(0, shown);
    std::string out;
    for (std::size_t k = 0; k < head.size();) {
        const std::size_t length = utf8_sequence_length(head.substr(k));
        if (length > 0) {
            out += head.substr(k, length);
            k += length;
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(head[k]));
        out += escaped;
        ++k;
    }
    if (text.size() > shown) out += "...";
    return out;
}

std::string quoted(std::string_view text) { return '"' + printable(text, 40) + '"'; }

}  // namespace pedsim::common
