#pragma once

#include <cstdint>
#include <string>

namespace velmar {

// velmarctl's progress line for a firmware transfer:
// "File 1 of 2: 1234 of 5000 records, 812 records/s, 0:05 left". Rate and
// time left read "--" until a record has gone out.
std::string flashProgressText(int fileIndex, int fileCount, int sent, int total,
                              std::int64_t elapsedMs);

} // namespace velmar
