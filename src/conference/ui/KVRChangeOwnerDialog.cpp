#include "conference/ui/KVRChangeOwnerDialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/KVRStrings.h"

namespace {
QString tr(const char* key) { return QString::fromStdString(KVRStrings::text(key)); }
}  // namespace

KVRChangeOwnerDialog::KVRChangeOwnerDialog(KVRChangeOwnerController& controller, QWidget* parent)
    : QDialog(parent), controller_(controller) {
    setObjectName(QStringLiteral("ChangeOwner"));
    setWindowTitle(tr("IDS_LECTURER_LIST"));
    setWindowFlag(Qt::WindowStaysOnTopHint, true);

    tableViewMain = new QTableWidget(0, 2, this);
    tableViewMain->setHorizontalHeaderLabels({tr("IDS_ID_NAME"), tr("IDS_STATUS")});
    tableViewMain->horizontalHeader()->setStretchLastSection(true);
    tableViewMain->verticalHeader()->setVisible(false);
    tableViewMain->verticalHeader()->setDefaultSectionSize(KVRChangeOwnerController::kRowHeight);
    tableViewMain->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableViewMain->setSelectionMode(QAbstractItemView::SingleSelection);
    tableViewMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableViewMain->setColumnWidth(0, 220);
    connect(tableViewMain, &QTableWidget::itemSelectionChanged, this, [this] { tableViewSelectionDidChange(); });

    buttonChange = new QPushButton(tr("IDS_CHANGE_LECTURER"), this);
    buttonChange->setObjectName(QStringLiteral("change"));
    buttonCancel = new QPushButton(tr("IDS_CANCEL"), this);
    buttonCancel->setObjectName(QStringLiteral("cancel"));
    connect(buttonChange, &QPushButton::clicked, this, [this] { buttonClick(QStringLiteral("change")); });
    connect(buttonCancel, &QPushButton::clicked, this, [this] { buttonClick(QStringLiteral("cancel")); });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(buttonChange);
    buttons->addWidget(buttonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tableViewMain);
    layout->addLayout(buttons);
    resize(420, 260);

    controller_.setView(this);
    reloadRows();
    controller_.setControls();
}

KVRChangeOwnerDialog::~KVRChangeOwnerDialog() { controller_.setView(nullptr); }

void KVRChangeOwnerDialog::reloadRows() {
    // Rebuilding the table clears its selection; the controller keeps the selection that counts.
    reloading_ = true;
    tableViewMain->clearSelection();
    const size_t n = controller_.numberOfRows();
    tableViewMain->setRowCount(static_cast<int>(n));
    for (size_t i = 0; i < n; ++i) {
        const auto row = controller_.row(i);
        auto* id = new QTableWidgetItem(QString::fromStdString(row.idText));
        id->setData(Qt::UserRole, QString::fromStdString(row.userID));
        tableViewMain->setItem(static_cast<int>(i), 0, id);
        tableViewMain->setItem(static_cast<int>(i), 1, new QTableWidgetItem(QString::fromStdString(row.statusText)));
    }
    if (auto sel = controller_.selectedRow(); sel && *sel < n) tableViewMain->selectRow(static_cast<int>(*sel));
    reloading_ = false;
}

void KVRChangeOwnerDialog::setChangeEnabled(bool enabled) { buttonChange->setEnabled(enabled); }

void KVRChangeOwnerDialog::bringToFront() {
    show();
    raise();
    activateWindow();
}

void KVRChangeOwnerDialog::tableViewSelectionDidChange() {
    if (reloading_) return;
    const auto rows = tableViewMain->selectionModel()->selectedRows();
    if (rows.isEmpty())
        controller_.selectRow(std::nullopt);
    else
        controller_.selectRow(static_cast<size_t>(rows.first().row()));
}

void KVRChangeOwnerDialog::buttonClick(const QString& identifier) {
    if (identifier == QLatin1String("change")) {
        controller_.changeOwner();
    } else if (identifier == QLatin1String("cancel")) {
        hide();  // kept for the rest of the run; the dispatcher keeps refreshing it
    }
}
