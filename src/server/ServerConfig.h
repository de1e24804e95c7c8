#pragma once

#include "link/Ipv4.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// What velmar-server runs with: the command line over the configuration file
// over the defaults. Parsed here without touching a file; the program reads
// the files and hands their text in.

inline constexpr std::uint16_t kDefaultServerPort = 8470;
inline constexpr int kDefaultChangeTimeoutMs = 5000;
inline constexpr std::size_t kMaxServedFrames = 1000;
inline constexpr std::size_t kMaxConfigFileBytes = 256 * 1024;
inline constexpr std::size_t kMaxTokenFileBytes = 64 * 1024;

struct ServedFrame {
    std::string address; // dotted IPv4
    std::string id;      // the frame's name in the API: the one given, else the address
    std::uint16_t videohubPort = 0; // the router protocol's port for this frame; 0 none
    bool videohubReadOnly = false;  // its router clients may look but change nothing
};

// A client network: an address and how many of its leading bits count.
struct Ipv4Network {
    Ipv4Address address = 0;
    int prefix = 32;
    bool contains(Ipv4Address a) const {
        const std::uint32_t mask = prefix == 0 ? 0 : ~std::uint32_t{0} << (32 - prefix);
        return (a & mask) == (address & mask);
    }
};

// Whether a router protocol's listener takes a client: loopback only when no
// networks are named, else only those (the protocols have no authentication).
inline bool clientAllowed(const std::vector<Ipv4Network>& allow, Ipv4Address peer) {
    if (allow.empty())
        return (peer >> 24) == 127;
    for (const Ipv4Network& n : allow)
        if (n.contains(peer))
            return true;
    return false;
}

struct ServerConfig {
    Ipv4Address listenAddress = 0x7F000001; // 127.0.0.1
    std::uint16_t listenPort = kDefaultServerPort;
    std::vector<ServedFrame> frames;
    std::string tokenFile;
    std::string tlsCertificate;
    std::string tlsKey;
    std::string stateDirectory; // empty: $STATE_DIRECTORY, else the user's data folder
    int changeTimeoutMs = kDefaultChangeTimeoutMs;
    std::string configFile; // the --config file, when one was given
    // Who may reach the router protocol's listeners beyond loopback (which
    // has no authentication); empty: loopback only.
    std::vector<Ipv4Network> videohubAllow;
    // The Ember+ provider's port (one for all frames; 0 none) and who may
    // reach it beyond loopback, by the same rule.
    std::uint16_t emberPort = 0;
    std::vector<Ipv4Network> emberAllow;

    bool tls() const { return !tlsCertificate.empty(); }
    bool loopbackOnly() const { return (listenAddress >> 24) == 127; }
};

// A configuration that cannot start the server: where and why.
struct ConfigError {
    std::string where; // "server.conf:12", "--listen", or empty
    std::string why;
    std::string text() const { return where.empty() ? why : where + ": " + why; }
};

// The command line, before any file is read.
struct ServerArguments {
    bool help = false;
    bool version = false;
    std::string configFile;
    // Settings given on the command line; they replace the file's.
    std::vector<std::pair<std::string, std::string>> settings; // key, value (key as in the file)
};

// Parses the arguments after the program's name. Options take their value as
// the next argument or after '=' ("--listen=0.0.0.0:8470").
std::optional<ConfigError> parseServerArguments(const std::vector<std::string>& args,
                                                ServerArguments& out);

// Applies one "key = value" setting; `where` names it in an error. "frame"
// adds a frame, the others replace.
std::optional<ConfigError> applyServerSetting(ServerConfig& config, std::string_view key,
                                              std::string_view value, const std::string& where);

// Applies a configuration file's text: "key = value" lines, '#' comments and
// blank lines. Unknown keys, lines without '=' and bad values are errors
// naming the file and line.
std::optional<ConfigError> applyConfigText(ServerConfig& config, std::string_view text,
                                           std::string_view fileName);

// The checks that need the whole configuration: a frame ID given twice, TLS
// with only one of its files, an address beyond loopback without tokens.
std::optional<ConfigError> checkServerConfig(const ServerConfig& config);

// "192.168.1.20=studio-a" or "192.168.1.20", then space-separated options:
// "videohub-port=9990", "videohub-read-only".
std::optional<ServedFrame> parseServedFrame(std::string_view text, std::string& why);

// How long to wait before the n-th reconnect (n from 1): 1 s doubling to 30 s,
// spread by up to a fifth either way by `jitter` (0..1), so two hundred
// frames lost at once do not come back in one burst.
// "10.0.0.0/8,192.168.1.0/24"; an address alone is a /32.
std::optional<std::vector<Ipv4Network>> parseNetworks(std::string_view text, std::string& why);

int reconnectDelayMs(int attempt, double jitter);

std::string serverHelpText();

// The next line of `text` (without its '\n'), taken off its front: the
// configuration and token files are read line by line the same way.
std::string_view takeLine(std::string_view& text);

} // namespace velmar
