#include "controls/FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHash>

namespace velmar {

namespace {
// The folder last used for each kind of file (.xpt, .cfg, ...).
QHash<QString, QString>& lastFolders() {
    static QHash<QString, QString> folders;
    return folders;
}
} // namespace

QString askFilePath(QWidget* parent, FileDialogKind kind, const QString& title,
                    const QStringList& filters, const QString& suffix, const QString& initialName) {
    QFileDialog dialog(parent, title, lastFolders().value(suffix));
    if (!initialName.isEmpty())
        dialog.selectFile(initialName);
    if (kind == FileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QString path = dialog.selectedFiles().constFirst();
    lastFolders().insert(suffix, QFileInfo(path).absolutePath());
    return path;
}

QStringList askFilePaths(QWidget* parent, const QString& title, const QStringList& filters,
                         const QString& suffix) {
    QFileDialog dialog(parent, title, lastFolders().value(suffix));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    const QStringList paths = dialog.selectedFiles();
    lastFolders().insert(suffix, QFileInfo(paths.constFirst()).absolutePath());
    return paths;
}

} // namespace velmar
