#pragma once
// The owner change dialog: the lecturers present, the current owner marked, and the button that hands
// the sub-room over. What the rows hold and when the button is enabled is KVRChangeOwnerController's.
#include <QDialog>

#include "conference/KVRChangeOwnerController.h"

class QPushButton;
class QTableWidget;

class KVRChangeOwnerDialog : public QDialog, public KVRChangeOwnerController::View {
    Q_OBJECT
public:
    // The controller is not owned; the dialog registers itself as its view and unregisters when it goes.
    explicit KVRChangeOwnerDialog(KVRChangeOwnerController& controller, QWidget* parent = nullptr);
    ~KVRChangeOwnerDialog() override;

    // KVRChangeOwnerController::View.
    void reloadRows() override;
    void setChangeEnabled(bool enabled) override;
    void bringToFront() override;

    QTableWidget* table() const { return tableViewMain; }
    QPushButton* changeButton() const { return buttonChange; }
    QPushButton* cancelButton() const { return buttonCancel; }

private:
    void buttonClick(const QString& identifier);
    void tableViewSelectionDidChange();

    KVRChangeOwnerController& controller_;
    QTableWidget* tableViewMain = nullptr;
    QPushButton* buttonChange = nullptr;
    QPushButton* buttonCancel = nullptr;
    bool reloading_ = false;
};
