#pragma once
// The dispatcher's secondary windows of the room: the owner-absent count-down and the owner change
// dialog. Made when the dispatcher exists and registered with it; the dialog is made on first use.
#include <QObject>
#include <QPointer>
#include <memory>

#include "conference/KVRChangeOwnerController.h"
#include "conference/KVRConferenceDelegates.h"

class QWidget;
class KVRChangeOwnerDialog;
class KVRConferenceEventHandler;
class KVRConferenceRoomOps;
class KVRLogoutViewController;

class KVRConferenceWindows : public KVRChangeOwnerPresenter {
public:
    // `parent` (the main window) parents the windows; both register with `dispatcher` at once. The owner
    // change goes through `roomOps`, or the registry's join handler when it is null.
    KVRConferenceWindows(const std::shared_ptr<KVRConferenceEventHandler>& dispatcher, QWidget* parent,
                         KVRConferenceRoomOps* roomOps = nullptr);
    ~KVRConferenceWindows() override;
    KVRConferenceWindows(const KVRConferenceWindows&) = delete;
    KVRConferenceWindows& operator=(const KVRConferenceWindows&) = delete;

    // KVRChangeOwnerPresenter.
    void showChangeOwnerView() override;
    void refresh() override;

    KVRLogoutViewController* logoutWindow() const;
    KVRChangeOwnerDialog* changeOwnerDialog() const;
    KVRChangeOwnerController* changeOwnerController() const { return controller_.get(); }

private:
    std::weak_ptr<KVRConferenceEventHandler> dispatcher_;
    QWidget* parent_;
    KVRConferenceRoomOps* roomOps_;
    QPointer<KVRLogoutViewController> logout_;
    std::unique_ptr<KVRChangeOwnerController> controller_;
    QPointer<KVRChangeOwnerDialog> dialog_;
};
