#pragma once

#include <cstdio>
#include <cstdlib>

// A failed invariant stops the fuzzer with the place and the condition.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace velmar::fuzz {

// What may never appear inside a line on the wire.
inline bool isControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
}

} // namespace velmar::fuzz
