#include "common/failure.h"

#include <cstdio>

namespace pedsim {

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

std::string quoted(std::string_view text)
{
    constexpr std::size_t shown = 40;
    std::string out = "\"";
    for (const char c : text.substr(0, shown)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        }
    }
    if (text.size() > shown) out += "...";
    return out + "\"";
}

}  // namespace pedsim
