#pragma once

#include "maintenance/FlashFile.h"

#include <QString>
#include <optional>
#include <string>

namespace velmar {

// Reads a flash file for the transfer, bounded as every file the program reads.
std::optional<std::string> readFlashFile(const QString& path, std::string* error = nullptr);

inline constexpr std::string_view kJoinFailed = "Saving all file failed";

// Joins the component images found in `folder` into `outputPath`. The
// output is written whole or not at all: a component that cannot be read
// leaves no file behind. Empty on success, else why not (a sentence that
// starts with kJoinFailed). `records` gets the joined file's record count.
std::string joinFlashFilesAt(const QString& folder, const QString& outputPath, FlashJoinType type,
                             std::string_view release, int* records = nullptr);

} // namespace velmar
