#include "server/ServerConfig.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>

namespace velmar {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<long> parseNumber(std::string_view text, long min, long max) {
    long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n < min || n > max)
        return std::nullopt;
    return n;
}

// An ID names the frame in URLs, metrics labels and event messages: kept to
// characters that need no quoting anywhere.
bool validId(std::string_view id) {
    if (id.empty() || id.size() > 64)
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == '.';
    });
}

std::optional<ConfigError> bad(const std::string& where, std::string why) {
    return ConfigError{where, std::move(why)};
}

// The keys of the file, which are also the long options.
constexpr std::string_view kKeys[] = {"listen",    "frame",           "token-file",
                                      "tls-certificate", "tls-key", "state-directory",
                                      "change-timeout", "videohub-allow", "ember-port",
                                      "ember-allow"};

bool knownKey(std::string_view key) {
    return std::find(std::begin(kKeys), std::end(kKeys), key) != std::end(kKeys);
}

} // namespace

std::optional<ServedFrame> parseServedFrame(std::string_view text, std::string& why) {
    text = trim(text);
    std::size_t cut = text.find_first_of(" \t");
    std::string_view options =
        cut == std::string_view::npos ? std::string_view() : text.substr(cut);
    text = text.substr(0, cut);
    const std::size_t eq = text.find('=');
    const std::string_view address = trim(text.substr(0, eq));
    if (!parseIpv4(address)) {
        std::string message(1, '"');
        message += address;
        message += "\" is not an IPv4 address such as 192.168.1.20";
        why = std::move(message);
        return std::nullopt;
    }
    ServedFrame frame{std::string(address), std::string(address)};
    if (eq != std::string_view::npos) {
        const std::string_view id = trim(text.substr(eq + 1));
        if (!validId(id)) {
            why = "a frame ID is 1 to 64 letters, digits, '-', '_' or '.'";
            return std::nullopt;
        }
        frame.id = id;
    }
    while (!(options = trim(options)).empty()) {
        cut = options.find_first_of(" \t");
        const std::string_view option = options.substr(0, cut);
        options.remove_prefix(cut == std::string_view::npos ? options.size() : cut);
        constexpr std::string_view kPort = "videohub-port=";
        if (option == "videohub-read-only") {
            frame.videohubReadOnly = true;
        } else if (option.substr(0, kPort.size()) == kPort) {
            const auto port = parseNumber(option.substr(kPort.size()), 1, 65535);
            if (!port) {
                why = "videohub-port wants a port from 1 to 65535";
                return std::nullopt;
            }
            frame.videohubPort = static_cast<std::uint16_t>(*port);
        } else if (eq != std::string_view::npos && option.substr(0, 9) != "videohub-") {
            // Most likely a space in the ID.
            why = "a frame ID is 1 to 64 letters, digits, '-', '_' or '.'";
            return std::nullopt;
        } else {
            why = "unknown frame option \"";
            why += option;
            why += "\" (videohub-port=N, videohub-read-only)";
            return std::nullopt;
        }
    }
    return frame;
}

std::optional<std::vector<Ipv4Network>> parseNetworks(std::string_view text, std::string& why) {
    std::vector<Ipv4Network> networks;
    while (true) {
        const std::size_t comma = text.find(',');
        const std::string_view item = trim(text.substr(0, comma));
        const std::size_t slash = item.find('/');
        const auto address = parseIpv4(item.substr(0, slash));
        const auto prefix = slash == std::string_view::npos
                                ? std::optional<long>(32)
                                : parseNumber(item.substr(slash + 1), 0, 32);
        if (!address || !prefix) {
            std::string message(1, '"');
            message += item;
            message += "\" is not a network such as 192.168.1.0/24";
            why = std::move(message);
            return std::nullopt;
        }
        networks.push_back({*address, static_cast<int>(*prefix)});
        if (comma == std::string_view::npos)
            return networks;
        text.remove_prefix(comma + 1);
    }
}

std::optional<ConfigError> applyServerSetting(ServerConfig& config, std::string_view key,
                                              std::string_view value, const std::string& where) {
    if (!knownKey(key))
        return bad(where, std::string("unknown setting \"").append(key).append("\""));
    if (value.empty())
        return bad(where, std::string(key) + " needs a value");
    if (key == "listen") {
        const std::size_t colon = value.rfind(':');
        const auto address =
            colon == std::string_view::npos ? std::nullopt : parseIpv4(value.substr(0, colon));
        const auto port = colon == std::string_view::npos
                              ? std::nullopt
                              : parseNumber(value.substr(colon + 1), 0, 65535);
        if (!address || !port)
            return bad(where, "listen wants ADDRESS:PORT, such as 127.0.0.1:8470 (port 0: any free port)");
        config.listenAddress = *address;
        config.listenPort = static_cast<std::uint16_t>(*port);
    } else if (key == "frame") {
        std::string why;
        auto frame = parseServedFrame(value, why);
        if (!frame)
            return bad(where, why);
        if (config.frames.size() >= kMaxServedFrames)
            return bad(where, "more than " + std::to_string(kMaxServedFrames) + " frames");
        config.frames.push_back(std::move(*frame));
    } else if (key == "videohub-allow" || key == "ember-allow") {
        std::string why;
        auto networks = parseNetworks(value, why);
        if (!networks)
            return bad(where, why);
        (key == "ember-allow" ? config.emberAllow : config.videohubAllow) = std::move(*networks);
    } else if (key == "ember-port") {
        const auto port = parseNumber(value, 1, 65535);
        if (!port)
            return bad(where, "ember-port wants a port from 1 to 65535");
        config.emberPort = static_cast<std::uint16_t>(*port);
    } else if (key == "change-timeout") {
        const auto seconds = parseNumber(value, 1, 120);
        if (!seconds)
            return bad(where, "change-timeout wants whole seconds from 1 to 120");
        config.changeTimeoutMs = static_cast<int>(*seconds) * 1000;
    } else {
        std::string& target = key == "token-file"        ? config.tokenFile
                              : key == "tls-certificate" ? config.tlsCertificate
                              : key == "tls-key"         ? config.tlsKey
                                                         : config.stateDirectory;
        target = value;
    }
    return std::nullopt;
}

std::optional<ConfigError> applyConfigText(ServerConfig& config, std::string_view text,
                                           std::string_view fileName) {
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        std::string_view line = takeLine(text);
        line = trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        std::string where(fileName);
        where += ':';
        where += std::to_string(lineNumber);
        if (line.find('\0') != std::string_view::npos)
            return bad(where, "the line holds a NUL byte");
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return bad(where, "not \"key = value\"");
        if (auto error = applyServerSetting(config, trim(line.substr(0, eq)),
                                            trim(line.substr(eq + 1)), where))
            return error;
    }
    return std::nullopt;
}

std::optional<ConfigError> checkServerConfig(const ServerConfig& config) {
    std::set<std::string> ids;
    for (const ServedFrame& f : config.frames)
        if (!ids.insert(f.id).second)
            return bad("", "the frame ID \"" + f.id + "\" is given twice");
    std::set<std::uint16_t> ports;
    for (const ServedFrame& f : config.frames)
        if (f.videohubPort != 0 && !ports.insert(f.videohubPort).second) {
            std::string why = "the Videohub port ";
            why += std::to_string(f.videohubPort);
            why += " is given to two frames";
            return bad("", std::move(why));
        }
    if (config.emberPort != 0 && ports.count(config.emberPort)) {
        std::string why = "the Ember+ port ";
        why += std::to_string(config.emberPort);
        why += " is also a frame's Videohub port";
        return bad("", std::move(why));
    }
    if (config.tlsCertificate.empty() != config.tlsKey.empty())
        return bad("", "TLS needs both tls-certificate and tls-key");
    if (!config.loopbackOnly() && config.tokenFile.empty())
        return bad("", "listening on " + formatIpv4(config.listenAddress) +
                           " needs a token file (--token-file); without one the server "
                           "listens on loopback only");
    return std::nullopt;
}

std::optional<ConfigError> parseServerArguments(const std::vector<std::string>& args,
                                                ServerArguments& out) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "-h" || arg == "--help") {
            out.help = true;
            continue;
        }
        if (arg == "--version") {
            out.version = true;
            continue;
        }
        if (arg.substr(0, 2) != "--")
            return bad("", std::string("unexpected argument \"").append(arg).append("\" (see --help)"));
        arg.remove_prefix(2);
        std::string value;
        const std::size_t eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        if (name != "config" && !knownKey(name))
            return bad("", std::string("unknown option --").append(name).append(" (see --help)"));
        if (eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return bad("", std::string("--").append(name).append(" needs a value"));
        }
        if (name == "config")
            out.configFile = value;
        else
            out.settings.emplace_back(std::string(name), value);
    }
    return std::nullopt;
}

std::string_view takeLine(std::string_view& text) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

int reconnectDelayMs(int attempt, double jitter) {
    constexpr int kFirstMs = 1000;
    constexpr int kLongestMs = 30000;
    const int doublings = std::clamp(attempt - 1, 0, 5);
    const int base = std::min(kLongestMs, kFirstMs << doublings);
    const double spread = (std::clamp(jitter, 0.0, 1.0) * 2.0 - 1.0) * 0.2;
    return static_cast<int>(std::lround(base * (1.0 + spread)));
}

std::string serverHelpText() {
    return "Usage: velmar-server [OPTION]...\n"
           "Keeps every configured frame connected and serves it over HTTP and WebSocket,\n"
           "and to router panels (Videohub) and broadcast control systems (Ember+).\n"
           "\n"
           "  --config FILE              read settings from FILE (key = value lines)\n"
           "  --frame ADDRESS[=ID]       serve the frame at ADDRESS, named ID in the API\n"
           "                             (repeatable; the ID defaults to the address);\n"
           "                             after it, \"videohub-port=N\" serves the frame to\n"
           "                             Videohub panels, \"videohub-read-only\" refuses\n"
           "                             their changes\n"
           "  --listen ADDRESS:PORT      where to listen (default 127.0.0.1:8470)\n"
           "  --token-file FILE          clients' tokens: lines \"NAME ROLE TOKEN\";\n"
           "                             needed to listen beyond loopback\n"
           "  --tls-certificate FILE     PEM certificate; with --tls-key, HTTPS and WSS\n"
           "  --tls-key FILE             PEM private key\n"
           "  --state-directory DIR      where the event log is kept\n"
           "  --change-timeout SECONDS   how long a frame has to confirm a change (5)\n"
           "  --videohub-allow CIDR[,CIDR...]\n"
           "                             client networks the Videohub listeners take\n"
           "                             (default: loopback only)\n"
           "  --ember-port PORT          serve every frame to Ember+ consumers on PORT\n"
           "  --ember-allow CIDR[,CIDR...]\n"
           "                             client networks the Ember+ listener takes\n"
           "                             (default: loopback only)\n"
           "  -h, --help                 show this help and exit\n"
           "      --version              show the version and exit\n"
           "\n"
           "Options on the command line replace the file's settings; --frame adds frames.\n"
           "Exit status: 0 stopped cleanly, 1 could not serve, 2 bad configuration.\n";
}

} // namespace velmar
