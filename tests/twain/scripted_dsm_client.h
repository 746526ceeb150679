// The test side of the scripted Data Source Manager: it records every triplet the library sends
// (with the record's contents as they arrived) and answers as the test scripts it. By default it
// behaves as a manager with one well-behaved source; a test replaces the answers it cares about.
#pragma once

#include <windows.h>

#include <cstring>
#include <functional>
#include <algorithm>
#include <map>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "twain/twain_protocol.h"

namespace kavrel::test {

struct Triplet {
    bool toSource = false;  // a destination identity was given
    twain::TW_UINT32 dg = 0;
    twain::TW_UINT16 dat = 0;
    twain::TW_UINT16 msg = 0;
    void* data = nullptr;
    std::vector<std::uint8_t> record;     // the data record as it arrived
    std::vector<std::uint8_t> container;  // DAT_CAPABILITY: the container block as it arrived
    twain::TW_IDENTITY origin{};
    twain::TW_IDENTITY destination{};

    // "DSM PARENT/OPENDSM", "DS USERINTERFACE/ENABLEDS", "DS IMAGENATIVEXFER/GET" ...
    std::string Name() const;
    template <class T>
    T As() const {
        T value{};
        std::memcpy(&value, record.data(), std::min(sizeof value, record.size()));
        return value;
    }
};

class ScriptedDsm {
public:
    using Rule = std::function<twain::TW_UINT16(Triplet& call)>;

    // Loads the scripted C:\windows\TWAIN_32.DLL and takes over its answers.
    ScriptedDsm();
    ~ScriptedDsm();
    ScriptedDsm(const ScriptedDsm&) = delete;
    ScriptedDsm& operator=(const ScriptedDsm&) = delete;
    bool Installed() const { return installed_; }

    // Replaces the answer to one triplet (DG_CONTROL unless dg is given).
    void On(twain::TW_UINT16 dat, twain::TW_UINT16 msg, Rule rule,
            twain::TW_UINT32 dg = twain::DG_CONTROL);
    // Answers the triplet with a fixed result code (and does nothing else).
    void Answer(twain::TW_UINT16 dat, twain::TW_UINT16 msg, twain::TW_UINT16 result,
                twain::TW_UINT32 dg = twain::DG_CONTROL);

    // The names of all triplets received, in order.
    std::vector<std::string> Names() const;
    // The calls with this name.
    std::vector<Triplet> Calls(const std::string& name) const;
    void Forget() { calls.clear(); }
    // Back to the well-behaved manager and source: no rules, nothing recorded, nothing pending.
    void Reset() {
        rules_.clear();
        calls.clear();
        conditionCode = twain::TWCC_SUCCESS;
        pagesPending = 0;
        eventAfterEnable = twain::MSG_NULL;
    }

    // Posts a message to the calling thread that the default MSG_PROCESSEVENT answer turns into
    // this TWAIN message from the source (MSG_XFERREADY, MSG_CLOSEDSREQ).
    static void PostSourceEvent(twain::TW_UINT16 twainMessage);

    std::vector<Triplet> calls;
    twain::TW_UINT16 conditionCode = twain::TWCC_SUCCESS;  // answered by DAT_STATUS
    int pagesPending = 0;                                   // counted down by MSG_ENDXFER
    // Signalled right after a successful MSG_ENABLEDS (MSG_NULL: none), like a source that
    // scans at once when its interface is hidden.
    twain::TW_UINT16 eventAfterEnable = twain::MSG_NULL;

private:
    static twain::TW_UINT16 WINAPI Dispatch(void* self, twain::TW_IDENTITY* origin,
                                            twain::TW_IDENTITY* destination, twain::TW_UINT32 dg,
                                            twain::TW_UINT16 dat, twain::TW_UINT16 msg,
                                            twain::TW_MEMREF data);
    twain::TW_UINT16 DefaultAnswer(Triplet& call);

    HMODULE module_ = nullptr;
    bool installed_ = false;
    std::map<std::tuple<twain::TW_UINT32, twain::TW_UINT16, twain::TW_UINT16>, Rule> rules_;
};

}  // namespace kavrel::test
