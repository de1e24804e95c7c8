#include "maintenance/FlashFiles.h"

#include "link/QtText.h"
#include "engine/FileAccess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velmar {

std::optional<std::string> readFlashFile(const QString& path, std::string* error) {
    FileReadResult r = readFileBounded(path, kMaxFlashFileBytes);
    if (!r.ok()) {
        if (error)
            *error = r.error;
        return std::nullopt;
    }
    return std::move(r.bytes);
}

std::string joinFlashFilesAt(const QString& folder, const QString& outputPath, FlashJoinType type,
                             std::string_view release, int* records) {
    const QFileInfo info(outputPath);
    if (outputPath.isEmpty() || info.fileName().isEmpty() || folder.isEmpty())
        return std::string(kJoinFailed);
    const QDir dir(folder);
    std::string readError;
    const FlashJoinResult joined = joinFlashComponents(type, release, [&](std::string_view name) {
        return readFlashFile(dir.filePath(qs(name)), &readError);
    });
    if (!joined.problem.empty())
        return std::string(kJoinFailed) + ": " + asSentence(joined.problem);
    if (!joined.ok())
        return std::string(kJoinFailed) + ": " + asSentence(readError);
    if (const std::string error = writeFileAtomically(outputPath, joined.text); !error.empty())
        return std::string(kJoinFailed) + ": " + asSentence(error);
    if (records)
        *records = parseFlashFile(joined.text).recordCount;
    return {};
}

} // namespace velmar
