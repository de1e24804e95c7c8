#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace velmar {

enum class FileDialogKind { Save, Open };

// Asks for a file path the way every file dialog of the program does: its
// title, the filters (the first one chosen), a default suffix, an overwrite
// question when saving, an existing file when opening, and the folder that
// was last used for the same suffix in this run. Empty when cancelled.
QString askFilePath(QWidget* parent, FileDialogKind kind, const QString& title,
                    const QStringList& filters, const QString& suffix,
                    const QString& initialName = {});

// Asks for one or more existing files to open, in the order the dialog
// returns them. Empty when cancelled.
QStringList askFilePaths(QWidget* parent, const QString& title, const QStringList& filters,
                         const QString& suffix);

} // namespace velmar
