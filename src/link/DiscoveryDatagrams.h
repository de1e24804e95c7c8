#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velmar {

// The small datagram protocol beside the TCP link: frames listen on UDP 10002,
// the program takes search replies on 10004.
inline constexpr int kFrameUdpPort = 10002;
inline constexpr int kDiscoveryReplyPort = 10004;

// The search request, broadcast once per adapter.
inline constexpr std::string_view kSearchRequest = "?edev\r";

// Largest search reply the program reads.
inline constexpr std::size_t kMaxSearchReply = 256;

// A search reply is taken only when it is longer than six bytes, begins with
// "!" or ":" followed by "e", and ends in a carriage return.
bool isAcceptableSearchReply(std::span<const char> datagram);

// What the main window queues for an accepted reply: the sender's address, a
// comma and the reply from its ninth character on (its carriage return
// dropped), with a comma appended when the frame sent it on its own ("!").
// Nothing when the datagram is not acceptable or nothing follows the first
// eight characters.
std::optional<std::string> queuedSearchReply(std::string_view senderAddress,
                                             std::span<const char> datagram);

// The reply socket's receive buffer. A search on a large network is answered
// by hundreds of frames within a few milliseconds; the kernel keeps each small
// datagram in about 1 KB of buffer, so 2 MB (doubled by Linux) holds a burst
// of well over 1000 replies while the background worker catches up.
inline constexpr int kSearchReceiveBufferBytes = 2 * 1024 * 1024;

// The kernel's count of datagrams it dropped for the UDP socket with this
// inode, read from the text of /proc/net/udp (the last column, "drops").
// Nothing when the socket is not in the table or the text is not as expected.
std::optional<std::uint64_t> udpDropsOfSocket(std::string_view procNetUdp, std::uint64_t inode);

// The echo probe: a length byte, a zero and the text, sent to one frame and
// expected back unchanged.
inline constexpr std::string_view kEchoText = "Brix Echo";
inline constexpr std::size_t kEchoPacketSize = 2 + kEchoText.size();
std::array<char, kEchoPacketSize> echoProbePacket();
bool isEchoAnswer(std::span<const char> received);

// Largest echo answer the probe reads.
inline constexpr std::size_t kMaxEchoAnswer = 130;
// The probe looks for the answer every 50 ms until its time-out.
inline constexpr int kEchoPollMs = 50;
int echoProbeTries(int timeoutMs);

// The set-address request, broadcast to every frame; the serial number
// selects the one that applies it. Control characters are left out of every
// text so no field can end the line early.
struct SetAddressRequest {
    std::string serialNumber;
    int mode = 0;
    std::string ipAddress;
    std::string subnetMask;
    std::string gateway;
    bool apply = true; // the last field: "1" for every request the program sends
};
std::string setAddressLine(const SetAddressRequest& request);

} // namespace velmar
