#include "events/EventLogFile.h"

#include "main/FileAccess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace velmar {

std::int64_t CSystemEventClock::nowMs() const { return QDateTime::currentMSecsSinceEpoch(); }

CEventLogFile::CEventLogFile(QString folder, std::string version, const IEventClock& clock,
                             std::size_t maxBytes, int maxFiles)
    : m_folder(std::move(folder)), m_version(std::move(version)), m_clock(clock),
      m_maxBytes(maxBytes), m_maxFiles(std::max(1, maxFiles)) {}

QString CEventLogFile::pathOf(int index) const {
    const QString name =
        index == 0 ? QStringLiteral("events.jsonl") : QStringLiteral("events.%1.jsonl").arg(index);
    return QDir(m_folder).filePath(name);
}

std::string CEventLogFile::rotate() {
    // The oldest file goes; every other moves one place back.
    const QString oldest = pathOf(m_maxFiles - 1);
    if (QFileInfo::exists(oldest) && !QFile::remove(oldest))
        return "cannot remove the oldest event log " + oldest.toStdString();
    for (int k = m_maxFiles - 2; k >= 0; --k) {
        const QString from = pathOf(k);
        if (QFileInfo::exists(from) && !QFile::rename(from, pathOf(k + 1)))
            return "cannot rename the event log " + from.toStdString();
    }
    return {};
}

std::string CEventLogFile::append(const Event& event) {
    const auto failed = [this](std::string why) {
        if (why != m_lastError && m_onError)
            m_onError(why);
        m_lastError = std::move(why);
        return m_lastError;
    };
    if (!QDir().mkpath(m_folder))
        return failed("cannot create the event log folder " + m_folder.toStdString());
    const std::string line = eventLogLine(event);
    const QString path = currentPath();
    const QFileInfo info(path);
    qint64 size = info.exists() ? info.size() : 0;
    if (size > 0 && static_cast<std::size_t>(size) + line.size() > m_maxBytes) {
        if (m_maxFiles == 1) {
            if (!QFile::remove(path))
                return failed("cannot remove the full event log " + path.toStdString());
        } else if (std::string why = rotate(); !why.empty()) {
            return failed(why);
        }
        size = 0;
    }
    // The header and the first event go out in one write, so no file starts
    // without its header.
    // A program that carries on an older program's file says so first, so
    // every event can be told which version wrote it.
    std::string bytes;
    if (size > 0 && !m_headerWritten && info.isFile()) {
        // A line torn by a crash would swallow the start of ours: begin anew.
        QFile file(path);
        char last = '\n';
        if (file.open(QIODevice::ReadOnly) && file.seek(size - 1))
            file.getChar(&last);
        if (last != '\n')
            bytes += '\n';
    }
    if (size == 0 || !m_headerWritten)
        bytes += eventLogHeaderLine(m_version, m_clock.nowMs());
    bytes += line;
    if (std::string why = appendToFile(path, bytes); !why.empty())
        return failed(why);
    m_headerWritten = true;
    m_lastError.clear();
    return {};
}

EventLogContents CEventLogFile::readAll(std::string* error) const {
    EventLogContents contents;
    for (int k = m_maxFiles - 1; k >= 0; --k) {
        const QString path = pathOf(k);
        if (!QFileInfo::exists(path))
            continue;
        // A file is never much larger than the rotation size; the margin
        // allows for one long line past it.
        const FileReadResult read = readFileBounded(path, m_maxBytes + kEventLogMaxLine);
        if (!read.ok()) {
            if (error != nullptr)
                *error += (error->empty() ? "" : "; ") + read.error;
            continue;
        }
        readEventLog(read.bytes, contents);
    }
    return contents;
}

} // namespace velmar
