#pragma once
// The owner change dialog's logic: the lecturers present, which of them owns the sub-room, and the
// hand-over of the ownership. The Qt dialog shows the rows and calls these; tests drive them directly.
#include <optional>
#include <string>
#include <vector>

#include "conference/KVRConferenceDelegates.h"

class KVRConferenceEventHandler;
class KVRConferenceRoomOps;

class KVRChangeOwnerController : public KVRChangeOwnerPresenter {
public:
    struct Row {
        std::string userID;
        std::string idText;      // "userID(alias)"
        std::string statusText;  // the main-lecturer text for the owner, else empty
    };
    // What the dialog shows: told after every refresh and selection change.
    class View {
    public:
        virtual ~View() = default;
        virtual void reloadRows() {}
        virtual void setChangeEnabled(bool /*enabled*/) {}
        virtual void bringToFront() {}
    };
    static constexpr int kRowHeight = 18;

    // `roomOps` may be null: the registry's join handler is used.
    explicit KVRChangeOwnerController(KVRConferenceEventHandler& dispatcher, KVRConferenceRoomOps* roomOps = nullptr);

    void setView(View* view) { view_ = view; }

    // KVRChangeOwnerPresenter.
    void showChangeOwnerView() override;
    void refresh() override;

    void setControls();
    void selectRow(std::optional<size_t> row);
    bool changeOwner();

    size_t numberOfRows() const { return tableContents.size(); }
    Row row(size_t index) const;
    bool isChangeEnabled() const { return changeEnabled_; }
    std::optional<size_t> selectedRow() const { return selected_; }

private:
    KVRConferenceRoomOps* roomOps() const;

    KVRConferenceEventHandler& dispatcher_;
    KVRConferenceRoomOps* roomOps_;
    View* view_ = nullptr;
    std::vector<std::string> tableContents;
    std::optional<size_t> selected_;
    bool changeEnabled_ = false;
};
