#include "app/KVRJson.h"
#include "KVRBotActions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/KVRConfig.h"
#include "app/KVRGlobalData.h"
#include "conference/KVRConferenceControl.h"
#include "conference/KVRConferenceEventHandler.h"
#include "conference/KVRCurrentConferenceInfo.h"
#include "conference/KVRSubroomList.h"

namespace {

std::optional<std::chrono::milliseconds> atSeconds(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v) || v < 0 || v > 7 * 24 * 3600.0) return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(std::llround(v * 1000)));
}

// Splits "AT:REST" and reads AT; `what` names the option in the error.
bool splitAt(const std::string& text, const char* what, KVRBotAction& a, std::string& rest, std::string& error) {
    const auto colon = text.find(':');
    auto at = colon == std::string::npos ? std::nullopt : atSeconds(text.substr(0, colon));
    if (!at) {
        error = std::string(what) + " needs AT_SECONDS:... , got \"" + text + "\"";
        return false;
    }
    a.at = *at;
    rest = text.substr(colon + 1);
    return true;
}

// The control separators would cut or shift the record on the wire; a bot never sends them.
bool hasSeparator(const std::string& s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c == 0x01 || c == 0x02 || c == 0x04 || c == 0x05; });
}

bool isUserID(const std::string& s) {
    return !s.empty() && s.size() < 24 && !hasSeparator(s) && s.find('|') == std::string::npos;
}

std::string setJson(const KVRCurrentConferenceInfo::IDSet& set) {
    std::string out = "[";
    bool first = true;
    for (const auto& id : set) {
        out += (first ? "" : ",") + kvr::jsonString(id);
        first = false;
    }
    return out + "]";
}

}  // namespace

std::optional<KVRBotAction> KVRBotAction::parseCommand(const std::string& text, std::string& error) {
    KVRBotAction a;
    a.kind = Kind::Command;
    std::string rest;
    if (!splitAt(text, "--command", a, rest, error)) return std::nullopt;
    if (auto atSign = rest.rfind('@'); atSign != std::string::npos) {
        a.user = rest.substr(atSign + 1);
        rest = rest.substr(0, atSign);
        if (!isUserID(*a.user)) {
            error = "--command: \"" + *a.user + "\" is not a user ID";
            return std::nullopt;
        }
    }
    const auto colon = rest.find(':');
    const std::string number = rest.substr(0, colon);
    char* end = nullptr;
    const long long cmd = std::strtoll(number.c_str(), &end, 10);
    if (number.empty() || end != number.c_str() + number.size() || cmd < 0 || cmd > 0xFFFF) {
        error = "--command needs a command number, got \"" + number + "\"";
        return std::nullopt;
    }
    a.command = cmd;
    if (colon != std::string::npos) {
        a.data = rest.substr(colon + 1);
        if (hasSeparator(*a.data)) {
            error = "--command: the data may not hold control separators";
            return std::nullopt;
        }
    }
    return a;
}

const std::vector<std::string>& KVRBotAction::publishKeys() {
    static const std::vector<std::string> keys = {"audio",      "doc",       "ownerid",        "adminid",
                                                  "speakerid",  "confmode",  "screentype",     "enlargevideoid",
                                                  "boardzoom",  "chatonoff", "extravalue"};
    return keys;
}

std::optional<KVRBotAction> KVRBotAction::parsePublish(const std::string& text, std::string& error) {
    KVRBotAction a;
    a.kind = Kind::Publish;
    std::string rest;
    if (!splitAt(text, "--publish", a, rest, error)) return std::nullopt;
    const auto eq = rest.find('=');
    if (eq == std::string::npos) {
        error = "--publish needs AT_SECONDS:KEY=VALUE, got \"" + text + "\"";
        return std::nullopt;
    }
    a.key = rest.substr(0, eq);
    a.value = rest.substr(eq + 1);
    const auto& keys = publishKeys();
    if (std::find(keys.begin(), keys.end(), a.key) == keys.end()) {
        std::string list;
        for (const auto& k : keys) list += (list.empty() ? "" : ", ") + k;
        error = "--publish: unknown key \"" + a.key + "\" (one of " + list + ")";
        return std::nullopt;
    }
    // The state text is split at the separators and at "|": a value holding one would shift the fields.
    if (hasSeparator(a.value) || a.value.find('|') != std::string::npos) {
        error = "--publish: the value may not hold separators or \"|\"";
        return std::nullopt;
    }
    if (a.key == "audio" || a.key == "doc") {
        const std::string id = !a.value.empty() && a.value[0] == '-' ? a.value.substr(1) : a.value;
        if (!isUserID(id)) {
            error = "--publish " + a.key + "= needs USERID (grant) or -USERID (withdraw)";
            return std::nullopt;
        }
    }
    if (a.key == "confmode" || a.key == "screentype") {
        char* end = nullptr;
        std::strtoll(a.value.c_str(), &end, 10);
        if (a.value.empty() || end != a.value.c_str() + a.value.size()) {
            error = "--publish " + a.key + "= needs an integer";
            return std::nullopt;
        }
    }
    return a;
}

std::optional<KVRBotAction> KVRBotAction::parseToggle(const std::string& text, std::string& error) {
    KVRBotAction a;
    a.kind = Kind::Toggle;
    std::string rest;
    if (!splitAt(text, "--toggle", a, rest, error)) return std::nullopt;
    const auto colon = rest.find(':');
    const std::string right = rest.substr(0, colon);
    if (right == "mic")
        a.right = Right::Mic;
    else if (right == "drawing")
        a.right = Right::Drawing;
    else {
        error = "--toggle needs AT_SECONDS:mic|drawing:USERID, got \"" + text + "\"";
        return std::nullopt;
    }
    a.user = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    if (!isUserID(*a.user)) {
        error = "--toggle: \"" + *a.user + "\" is not a user ID";
        return std::nullopt;
    }
    return a;
}

std::string KVRBotAction::describe() const {
    switch (kind) {
        case Kind::Command:
            return "command " + std::to_string(command) + (data ? " data \"" + *data + "\"" : std::string()) +
                   " to " + (user ? *user : std::string("the sub-room"));
        case Kind::Publish: return "publish " + key + "=" + value;
        case Kind::Toggle: return std::string("toggle ") + (right == Right::Mic ? "mic" : "drawing") + " " + *user;
    }
    return {};
}

KVRBotActions::KVRBotActions(std::shared_ptr<KVRConferenceEventHandler> dispatcher, Line line,
                             std::shared_ptr<KVRConferenceControl> control)
    : dispatcher_(std::move(dispatcher)), line_(std::move(line)),
      control_(control ? std::move(control) : std::make_shared<KVRMainServerControl>()) {
    dispatcher_->setDelegateWindowManagerView(this);
    dispatcher_->setNoticeMessageViewManager(this);
}

KVRBotActions::~KVRBotActions() {
    *alive_ = false;
    dispatcher_->setDelegateWindowManagerView(nullptr);
    dispatcher_->setNoticeMessageViewManager(nullptr);
}

void KVRBotActions::schedule(KVRRunLoop& loop, const std::vector<KVRBotAction>& actions) {
    std::weak_ptr<bool> alive = alive_;
    for (const auto& a : actions) {
        loop.startTimer(a.at, false, [this, alive, a] {
            if (auto on = alive.lock(); !on || !*on) return;
            std::string why;
            if (run(a, why)) {
                ++succeeded_;
                line_("kelvara-bot: action " + a.describe() + " ok");
            } else {
                ++failed_;
                line_("kelvara-bot: action " + a.describe() + " failed: " + why);
            }
        });
    }
}

void KVRBotActions::stateChanged() {
    // Several fan-outs follow one change; one line per state actually reached.
    auto state = stateJson();
    if (state == lastState_) return;
    lastState_ = state;
    line_("kelvara-bot: state " + state);
}

void KVRBotActions::normalMessage(int type, const std::string& userID) {
    line_("kelvara-bot: notice " + std::to_string(type) + " " + userID);
}

void KVRBotActions::receivedMessage(const std::string& senderID, const std::string& message) {
    line_("kelvara-bot: message from " + senderID + ": " + kvr::jsonString(message));
}

bool KVRBotActions::run(const KVRBotAction& a, std::string& why) {
    auto* g = KVRGlobalData::sharedGlobalData();
    switch (a.kind) {
        case KVRBotAction::Kind::Command: {
            std::optional<std::string_view> data;
            if (a.data) data = *a.data;
            bool ok = false;
            if (a.user) {
                ok = control_->sendToClientEx(*a.user, a.command, data);
            } else {
                auto rooms = g->subroomList();
                if (!rooms || !rooms->getSelectedSubRoomInfo()) {
                    why = "no sub-room selected";
                    return false;
                }
                ok = control_->sendToClient(rooms->getSelectedSubRoomNo(), a.command, data);
            }
            if (!ok) why = "the server did not confirm";
            return ok;
        }
        case KVRBotAction::Kind::Toggle: {
            const bool ok = a.right == KVRBotAction::Right::Mic ? dispatcher_->toggleMicPermission(*a.user)
                                                                : dispatcher_->toggleDrawingPermission(*a.user);
            if (!ok) why = "no control permission, or the own ID";
            return ok;
        }
        case KVRBotAction::Kind::Publish: return publish(a, why);
    }
    return false;
}

bool KVRBotActions::publish(const KVRBotAction& a, std::string& why) {
    auto info = KVRGlobalData::sharedGlobalData()->currentConferenceInfo();
    if (!info) {
        why = "no conference state";
        return false;
    }
    if (!info->isClassCtrlPermission()) {
        why = "no control permission";
        return false;
    }
    if (a.key == "audio" || a.key == "doc") {
        // Grants and withdrawals go through the permission operations, as the user list's buttons do.
        const bool withdraw = !a.value.empty() && a.value[0] == '-';
        const std::string id = withdraw ? a.value.substr(1) : a.value;
        const bool audio = a.key == "audio";
        const bool has = audio ? info->isHasAudioPermission(id) : info->isHasDocPermission(id);
        if (has != withdraw) return true;  // already as asked
        const bool ok = audio ? dispatcher_->toggleMicPermission(id) : dispatcher_->toggleDrawingPermission(id);
        if (!ok) why = "refused for the own ID";
        return ok;
    }
    if (a.key == "confmode" || a.key == "screentype") {
        const int64_t v = std::strtoll(a.value.c_str(), nullptr, 10);
        const bool ok = a.key == "confmode" ? dispatcher_->setConferenceMode(v) : dispatcher_->setScreenType(v);
        if (!ok) why = "unchanged, or the server refused it";
        return ok;
    }
    if (a.key == "ownerid") {
        info->changeOwner(info->getOwnerID(), a.value);
    } else if (a.key == "adminid") {
        info->setAdminID(a.value);
    } else if (a.key == "speakerid") {
        info->setSpeakerID(a.value);
    } else if (a.key == "enlargevideoid") {
        info->setEnlargeVideoID(a.value);
    } else if (a.key == "boardzoom") {
        info->setBoardZoom(a.value);
    } else if (a.key == "chatonoff") {
        info->setChatOnOff(a.value);
    } else if (a.key == "extravalue") {
        info->setExtraValue(a.value);
    }
    if (!dispatcher_->sendConfInfo()) {
        why = "the server did not confirm";
        return false;
    }
    if (a.key == "adminid") dispatcher_->changedAdmin();
    if (a.key == "chatonoff") dispatcher_->changedChatPermission();
    if (a.key == "ownerid") dispatcher_->allocVideoOwner();
    return true;
}

std::string KVRBotActions::stateJson() {
    auto info = KVRGlobalData::sharedGlobalData()->currentConferenceInfo();
    if (!info) return "null";
    return "{\"owner\":" + kvr::jsonString(info->getOwnerID()) + ",\"admin\":" + kvr::jsonString(info->getAdminID()) +
           ",\"confmode\":" + std::to_string(info->getConfMode()) + ",\"audio\":" + setJson(info->dicAudioIDs()) +
           ",\"doc\":" + setJson(info->dicDocIDs()) + ",\"chat\":" + setJson(info->dicChatIDs()) + "}";
}
