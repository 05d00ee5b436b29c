// Server event payloads reach the dispatcher's handlers from the network. The first byte picks the
// event (or a doc datagram); the rest is the payload. Follow-up timers are run as well.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "app/KVRLog.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRConferenceMainViewOps.h"
#include "conference/KVRConferenceRoomOps.h"
#include "conference/KVRConferenceUserList.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRSubroomList.h"
#include "platform/synthetic/KVRManualRunLoop.h"
#include "portal/KVRQuilloraLog.h"

namespace {
struct NullControl : KVRConferenceControl {
    bool setConfInfo(const std::string&) override { return true; }
    bool sendToClient(int64_t, int64_t, std::optional<std::string_view>) override { return true; }
    bool sendToClientEx(const std::string&, int64_t, std::optional<std::string_view>) override { return true; }
    bool sendQuilloraLog(const std::string&) override { return true; }
    bool sendEnqueteRegister(const std::string&) override { return true; }
    bool sendEnqueteAnswer(const std::string&) override { return true; }
    bool sendQuilloraDocLog(const std::string&) override { return true; }
    bool sendQuilloraVOD(const std::string&) override { return true; }
};
struct Ops : KVRConferenceRoomOps {
    bool remoteEnterRoom(const std::string&, int64_t) override { return true; }
    void remoteExitRoom(const std::string& id, int64_t) override {
        if (auto u = KVRGlobalData::sharedGlobalData()->conferenceUserList()) u->removeAtUser(id);
    }
    bool refreshSubRoomInfo(int64_t) override { return true; }
    bool updateRoomOwner(const std::string&) override { return true; }
};
struct MainView : KVRConferenceMainViewOps {
    void AppClose() override {}
    void AppCloseEx() override {}
    void criticalError(const std::string&) override {}
    void waringError(const std::string&) override {}
    void startProgressIndicator() override {}
    void stopProgressIndicator() override {}
};
struct Views : KVRRoomViewDelegate, KVRBoardContainerDelegate, KVRWebShareViewDelegate, KVREnqueteViewDelegate {};

constexpr uint16_t kCommands[] = {55, 31, 56, 82, 128, 208, 242, 854, 898, 1};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto loop = std::make_shared<KVRManualRunLoop>();
    static auto control = std::make_shared<NullControl>();
    static Ops ops;
    static MainView mainView;
    static Views views;
    static bool once = [] {
        KVRLogSettings::setEnabled(false);
        auto* g = KVRGlobalData::sharedGlobalData();
        auto config = std::make_shared<KVRConfig>();
        config->setData(" /UID:me /NTP:1 /MST:9");
        g->setKvrcConfig(config);
        g->setQuilloraLog(std::make_shared<KVRQuilloraLog>(control));
        return true;
    }();
    (void)once;
    if (size == 0) return 0;
    auto* g = KVRGlobalData::sharedGlobalData();
    auto rooms = std::make_shared<KVRSubroomList>();
    rooms->setSelectedRoomInfo("12\x01own\x01\x01\x01name\x01\x31\x01\x01\x39\x01\x35\x01\x33\x01");
    g->setSubroomList(rooms);
    g->setConferenceUserList(std::make_shared<KVRConferenceUserList>());
    g->setCurrentConferenceInfo(std::make_shared<KVRCurrentConferenceInfo>());

    KVRConferenceEventHandler d(loop, control);
    d.setDelegateMainView(&mainView);
    d.setConferenceRoomOps(&ops);
    d.setDelegateLearningMainView(&views);
    d.setDelegateBoardContainerView(&views);
    d.setDelegateWebSahreBackView(&views);
    d.setDelegateEnqueteView(&views);
    d.setDelegateEnqueteAckView(&views);
    d.startConference();

    const uint8_t selector = data[0];
    std::span<const uint8_t> rest(data + 1, size - 1);
    if (selector & 0x80) {
        d.receivedDocmentData(rest, {});
        loop->runPending();
        return 0;
    }
    KVRControlPacket packet{kCommands[selector % std::size(kCommands)], uint16_t(selector >> 4),
                            std::vector<uint8_t>(rest.begin(), rest.end())};
    d.serverAlarmPacket(packet);
    loop->advance(std::chrono::milliseconds(100));
    loop->advance(std::chrono::milliseconds(600));
    return 0;
}
