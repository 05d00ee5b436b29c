// The dispatcher's Qt windows on the offscreen platform: the owner-absent count-down as the window
// shows it, and the owner change dialog's button following the table's selection.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTableWidget>

#include "KVRDispatchTestSupport.h"
#include "app/KVRStrings.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/ui/KVRChangeOwnerDialog.h"
#include "conference/ui/KVRConferenceWindows.h"
#include "conference/ui/KVRLogoutViewController.h"
#include "platform/KVRAlerts.h"
#include "platform/synthetic/KVRManualRunLoop.h"

using namespace kvrtest;
using namespace std::chrono_literals;

namespace {
struct Answer : KVRAlerts {
    int button = 0;
    int showAlert(const std::string&, const std::vector<std::string>&, int) override { return button; }
    std::optional<std::string> openFile(const std::vector<std::string>&) override { return std::nullopt; }
};

// Sub-room 12 owned by "own"; the own client is a participant or a lecturer as `launch` says.
struct Rig {
    std::shared_ptr<KVRManualRunLoop> loop = std::make_shared<KVRManualRunLoop>();
    std::shared_ptr<FakeControl> control = std::make_shared<FakeControl>();
    Room room{"own"};
    FakeRoomOps ops{room};
    FakeMainView mainView;
    std::shared_ptr<KVRConferenceEventHandler> d;
    QWidget mainWindow;
    std::unique_ptr<KVRConferenceWindows> windows;

    explicit Rig(const std::string& launch) {
        useConfig(launch);
        d = std::make_shared<KVRConferenceEventHandler>(loop, control);
        d->setDelegateMainView(&mainView);
        d->setConferenceRoomOps(&ops);
        room.users->addUser(userRecord("own", "100", "Owner"));
        room.users->addUser(userRecord("me", "0"));
        d->startConference();
        windows = std::make_unique<KVRConferenceWindows>(d, &mainWindow, &ops);
    }
    void event(uint16_t command, const std::string& payload) {
        d->serverAlarmPacket(kvrtest::event(command, payload));
        loop->advance(100ms);
    }
};
}  // namespace

TEST(KVRLogoutViewController, ShowsTheCountDownAndClosesWhenTheOwnerReturns) {
    Rig rig(" /UID:me /NTP:0 /RNM:Physics 101");
    auto* window = rig.windows->logoutWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());

    rig.event(56, "own\x01" "12");
    ASSERT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Physics 101"));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window->infoText().toStdString(), KVRLogoutInfo::formatText(600));

    rig.loop->advance(3s);
    EXPECT_EQ(window->infoText().toStdString(), KVRLogoutInfo::formatText(597));
    EXPECT_NE(window->infoText().indexOf(QStringLiteral("09:57")), -1);

    // The window cannot be closed away while the lecture is still going to end.
    window->close();
    EXPECT_TRUE(window->isVisible());

    rig.ops.types["own"] = "100";
    rig.event(55, "own\x01" "12");
    EXPECT_FALSE(window->isVisible());
    rig.loop->advance(700s);
    EXPECT_EQ(rig.mainView.appClose, 0);  // the count-down stopped with the window
}

TEST(KVRLogoutViewController, OkButtonEndsTheLectureAtOnce) {
    Rig rig(" /UID:me /NTP:0 /RNM:Room");
    rig.event(56, "own\x01" "12");
    auto* window = rig.windows->logoutWindow();
    ASSERT_TRUE(window->isVisible());
    window->okButton()->click();
    EXPECT_EQ(rig.mainView.appClose, 1);
    EXPECT_FALSE(window->isVisible());
    rig.loop->advance(700s);
    EXPECT_EQ(rig.mainView.appClose, 1);
}

TEST(KVRChangeOwnerDialog, ChangeButtonFollowsTheSelection) {
    Rig rig(" /UID:me /NTP:1 /MST:9");
    auto answer = std::make_shared<Answer>();
    KVRGlobalData::sharedGlobalData()->setAlerts(answer);
    rig.room.state->setOwnerID("own");
    EXPECT_EQ(rig.windows->changeOwnerDialog(), nullptr);  // made on first use
    rig.d->showChangeOwnerView();
    auto* dialog = rig.windows->changeOwnerDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    auto* table = dialog->table();
    ASSERT_EQ(table->rowCount(), 1);  // only the owner is a lecturer
    EXPECT_EQ(table->item(0, 0)->text(), QStringLiteral("own(Owner)"));
    EXPECT_EQ(table->item(0, 1)->text().toStdString(), KVRStrings::text("IDS_MAIN_LECTURER"));
    EXPECT_FALSE(dialog->changeButton()->isEnabled());
    table->selectRow(0);
    EXPECT_FALSE(dialog->changeButton()->isEnabled());

    // A second lecturer enters: the dispatcher refreshes the dialog, the owner's row stays selected.
    rig.ops.types["lect2"] = "103";
    rig.event(55, "lect2\x01" "12");
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_FALSE(dialog->changeButton()->isEnabled());
    table->selectRow(1);
    EXPECT_TRUE(dialog->changeButton()->isEnabled());
    table->clearSelection();
    EXPECT_FALSE(dialog->changeButton()->isEnabled());

    table->selectRow(1);
    dialog->changeButton()->click();
    EXPECT_EQ(rig.ops.ownerUpdates, std::vector<std::string>{"lect2"});
    EXPECT_EQ(rig.room.state->getOwnerID(), "lect2");
    EXPECT_EQ(rig.control->count("conf"), 1u);
    EXPECT_EQ(table->item(1, 1)->text().toStdString(), KVRStrings::text("IDS_MAIN_LECTURER"));
    EXPECT_TRUE(table->item(0, 1)->text().isEmpty());
    EXPECT_TRUE(table->selectionModel()->isRowSelected(1, {}));
    EXPECT_FALSE(dialog->changeButton()->isEnabled());

    dialog->cancelButton()->click();
    EXPECT_FALSE(dialog->isVisible());
    rig.d->showChangeOwnerView();
    EXPECT_EQ(rig.windows->changeOwnerDialog(), dialog);  // kept, not made again
    EXPECT_TRUE(dialog->isVisible());
}

TEST(KVRConferenceWindows, UnregistersFromTheDispatcher) {
    Rig rig(" /UID:me /NTP:0");
    rig.windows.reset();
    rig.event(56, "own\x01" "12");  // no window left to reach: the count-down runs headless
    ASSERT_NE(rig.d->logoutInfo(), nullptr);
    EXPECT_TRUE(rig.d->logoutInfo()->isStarted());
    rig.d->showChangeOwnerView();
}
