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
                    const QStringList& filters, const QString& suffix) {
    QFileDialog dialog(parent, title, lastFolders().value(suffix));
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

} // namespace velmar
