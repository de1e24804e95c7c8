#include "window/CLoadStDlg.h"

#include "window/CCrosspointModels.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

namespace velmar {

CLoadStDlg::CLoadStDlg(const CLoadStatusLogic& logic, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromStdString(logic.windowTitle()));
    auto* group = new QGroupBox(
        QString::fromUtf8(CLoadStatusLogic::kGroupTitle.data(),
                          static_cast<qsizetype>(CLoadStatusLogic::kGroupTitle.size())));
    auto* view = new QTableView;
    view->setObjectName(QStringLiteral("loadList"));
    view->setModel(new CLoadStatusModel(logic, view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    view->setShowGrid(false);
    auto* inner = new QVBoxLayout(group);
    inner->addWidget(view);
    // Lines the table did not take are said, not dropped in silence.
    auto* leftOut = new QLabel(QString::fromStdString(logic.leftOutText()));
    leftOut->setObjectName(QStringLiteral("loadLeftOut"));
    leftOut->setWordWrap(true);
    inner->addWidget(leftOut);
    leftOut->setHidden(leftOut->text().isEmpty());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(buttons);
    resize(360, 420);
}

} // namespace velmar
