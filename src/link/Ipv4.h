#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// An IPv4 address as one number, the first octet in the top byte. Only ever
// compared and printed, so its byte order is that of the dotted text.
using Ipv4Address = std::uint32_t;

// Strict dotted-quad: four decimal octets 0..255 separated by points, nothing
// else. Anything else is no address.
std::optional<Ipv4Address> parseIpv4(std::string_view text);
std::string formatIpv4(Ipv4Address address);

} // namespace velmar
