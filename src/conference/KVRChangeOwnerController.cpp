#include "conference/KVRChangeOwnerController.h"

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "app/KVRStrings.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRConferenceHandler.h"
#include "conference/KVRConferenceUserInfo.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRSubroomList.h"
#include "platform/KVRAlerts.h"

KVRChangeOwnerController::KVRChangeOwnerController(KVRConferenceEventHandler& dispatcher,
                                                   KVRConferenceRoomOps* roomOps)
    : dispatcher_(dispatcher), roomOps_(roomOps) {}

KVRConferenceRoomOps* KVRChangeOwnerController::roomOps() const {
    return roomOps_ ? roomOps_ : KVRGlobalData::sharedGlobalData()->conferenceHandler().get();
}

void KVRChangeOwnerController::showChangeOwnerView() {
    if (view_) view_->bringToFront();
    refresh();
}

void KVRChangeOwnerController::refresh() {
    std::optional<std::string> selectedID;
    if (selected_ && *selected_ < tableContents.size()) selectedID = tableContents[*selected_];
    tableContents.clear();
    selected_.reset();
    if (auto users = KVRGlobalData::sharedGlobalData()->conferenceUserList()) {
        for (const auto& u : users->arrUserList()) {
            const auto type = u->userType();
            if (type != 100 && type != 103) continue;
            if (selectedID && u->userID() == *selectedID) selected_ = tableContents.size();
            tableContents.push_back(u->userID());
        }
    }
    if (view_) view_->reloadRows();
    setControls();
}

KVRChangeOwnerController::Row KVRChangeOwnerController::row(size_t index) const {
    Row r;
    if (index >= tableContents.size()) return r;
    auto* g = KVRGlobalData::sharedGlobalData();
    r.userID = tableContents[index];
    auto users = g->conferenceUserList();
    auto alias = users ? users->getAlias(r.userID) : std::nullopt;
    r.idText = r.userID + "(" + alias.value_or("") + ")";
    auto rooms = g->subroomList();
    if (rooms && rooms->isOwner(r.userID)) r.statusText = KVRStrings::text("IDS_MAIN_LECTURER");
    return r;
}

void KVRChangeOwnerController::selectRow(std::optional<size_t> row) {
    selected_ = row && *row < tableContents.size() ? row : std::nullopt;
    setControls();
}

void KVRChangeOwnerController::setControls() {
    auto rooms = KVRGlobalData::sharedGlobalData()->subroomList();
    changeEnabled_ = selected_ && *selected_ < tableContents.size() && !(rooms && rooms->isOwner(tableContents[*selected_]));
    if (view_) view_->setChangeEnabled(changeEnabled_);
}

bool KVRChangeOwnerController::changeOwner() {
    auto* g = KVRGlobalData::sharedGlobalData();
    auto config = g->kvrcConfig();
    if (!config) return false;
    const auto ownType = config->getUserType();
    if (ownType != 100 && ownType != 101 && ownType != 103) return false;
    if (!selected_ || *selected_ >= tableContents.size()) return false;
    auto users = g->conferenceUserList();
    auto rooms = g->subroomList();
    auto info = g->currentConferenceInfo();
    if (!users || !rooms || !info) return false;
    auto newOwner = users->getAtByID(tableContents[*selected_]);
    if (!newOwner) return false;
    const std::string newID = newOwner->userID();
    const std::string oldID = rooms->getOwnerID();
    if (newID == oldID) return false;

    std::string question = KVRStrings::text("IDS_CONFIRM_CHANGE_LECTURER");
    const std::string oldName = users->getAlias(oldID).value_or(oldID);
    if (auto at = question.find("%@"); at != std::string::npos) question.replace(at, 2, oldName);
    else if (auto at2 = question.find("%s"); at2 != std::string::npos) question.replace(at2, 2, oldName);
    // The text is already filled; messageBox looks its message up, which leaves an unknown text as it is.
    if (KVRGlobalData::messageBox(nullptr, question, "IDS_YES", "IDS_NO", std::nullopt, KVRAlerts::Warning) != 1000)
        return false;

    if (!rooms->getSelectedSubRoomInfo()) return false;
    const int64_t roomNo = rooms->getSelectedSubRoomNo();
    auto* ops = roomOps();
    if (!ops || !ops->updateRoomOwner(newID)) return false;
    if (!ops->refreshSubRoomInfo(roomNo)) {
        KVRLog("Failed to update room info => room no : %lld", static_cast<long long>(roomNo));
        dispatcher_.criticalError(KVRStrings::text("IDS_ERR_SERVER_PROTOCOL"));
        return false;
    }
    info->changeOwner(oldID, newID);
    dispatcher_.allocVideoOwner();
    dispatcher_.sendConfInfo();
    refresh();
    return true;
}
