#pragma once

#include "protocol/RequestEncoder.h"
#include "protocol/ResponseDecoder.h"

#include <array>
#include <gtest/gtest.h>
#include <string>

namespace velmar::test {

inline std::string encoded(const DeviceMessage& m, std::size_t bufferSize = kEncodeBufferSize) {
    std::array<char, 1024> buffer{};
    const std::size_t n = encodeMessage(m, std::span<char>(buffer.data(), bufferSize));
    return std::string(buffer.data(), n);
}

// Decodes the first line of `bytes`; the line must be complete.
inline DeviceMessage
decodedLine(CResponseDecoder& decoder, const std::string& bytes,
            CResponseDecoder::Column column = CResponseDecoder::Column::Reply) {
    DeviceMessage m;
    const DecodeResult r = decoder.decode(bytes, m, column);
    EXPECT_TRUE(r.delivered) << bytes;
    return m;
}

} // namespace velmar::test
