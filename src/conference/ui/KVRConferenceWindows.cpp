#include "conference/ui/KVRConferenceWindows.h"

#include "conference/KVRConferenceEventHandler.h"
#include "conference/ui/KVRChangeOwnerDialog.h"
#include "conference/ui/KVRLogoutViewController.h"

KVRConferenceWindows::KVRConferenceWindows(const std::shared_ptr<KVRConferenceEventHandler>& dispatcher,
                                           QWidget* parent, KVRConferenceRoomOps* roomOps)
    : dispatcher_(dispatcher), parent_(parent), roomOps_(roomOps) {
    if (!dispatcher) return;
    logout_ = new KVRLogoutViewController(dispatcher->logoutInfo(), parent);
    dispatcher->setLogoutWindow(logout_);
    dispatcher->setChangeOwnerPresenter(this);
}

KVRConferenceWindows::~KVRConferenceWindows() {
    if (auto d = dispatcher_.lock()) {
        d->setLogoutWindow(nullptr);
        d->setChangeOwnerPresenter(nullptr);
    }
    delete dialog_.data();
    delete logout_.data();
}

KVRLogoutViewController* KVRConferenceWindows::logoutWindow() const { return logout_.data(); }
KVRChangeOwnerDialog* KVRConferenceWindows::changeOwnerDialog() const { return dialog_.data(); }

void KVRConferenceWindows::showChangeOwnerView() {
    auto d = dispatcher_.lock();
    if (!d) return;
    if (!controller_) controller_ = std::make_unique<KVRChangeOwnerController>(*d, roomOps_);
    if (!dialog_) dialog_ = new KVRChangeOwnerDialog(*controller_, parent_);
    controller_->showChangeOwnerView();
}

void KVRConferenceWindows::refresh() {
    if (controller_) controller_->refresh();
}
