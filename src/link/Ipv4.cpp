#include "link/Ipv4.h"

namespace velmar {

std::optional<Ipv4Address> parseIpv4(std::string_view text) {
    Ipv4Address value = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (text.empty() || text.front() != '.')
                return std::nullopt;
            text.remove_prefix(1);
        }
        int number = 0;
        int digits = 0;
        while (!text.empty() && text.front() >= '0' && text.front() <= '9' && digits < 4) {
            number = number * 10 + (text.front() - '0');
            text.remove_prefix(1);
            ++digits;
        }
        if (digits == 0 || digits > 3 || number > 255)
            return std::nullopt;
        value = (value << 8) | static_cast<Ipv4Address>(number);
    }
    if (!text.empty())
        return std::nullopt;
    return value;
}

std::string formatIpv4(Ipv4Address a) {
    return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 0xFF) + '.' +
           std::to_string((a >> 8) & 0xFF) + '.' + std::to_string(a & 0xFF);
}

} // namespace velmar
