// Source selection and acquisition against the scripted manager: the triplets of a whole
// acquisition, the proxy window, the modal loop's ways of ending, transfers and their callback,
// and sources that fail, cancel or never stop sending.
#include <gtest/gtest.h>

#include "support/dib_builder.h"
#include "twain/scripted_twain_fixture.h"

namespace kavrel::test {
namespace {

using namespace twain;
using Names = std::vector<std::string>;

bool Contains(const std::vector<std::string>& boxes, const std::string& part) {
    for (const auto& b : boxes) {
        if (b.find(part) != std::string::npos) return true;
    }
    return false;
}

std::string ClassName(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

std::string Caption(HWND window) {
    char text[64] = {};
    ::GetWindowTextA(window, text, sizeof text);
    return text;
}

// The source answers MSG_GET of ICAP_PIXELTYPE with a container of these bytes.
void SourceOffers(ScriptedDsm& dsm, TW_UINT16 conType, std::vector<std::uint8_t> bytes) {
    dsm.On(DAT_CAPABILITY, MSG_GET, [conType, bytes](Triplet& call) {
        auto* cap = static_cast<TW_CAPABILITY*>(call.data);
        cap->ConType = conType;
        cap->hContainer = BlockOf(bytes);
        return TWRC_SUCCESS;
    });
}

class Acquire : public ScriptedTwain {
protected:
    void TearDown() override {
        EXPECT_EQ(kv.TWAIN_State(), 1) << "every high-level call ends in state 1";
        for (int i = 0; i < kv.TWAIN_GetNumDibs(); ++i) kv.TWAIN_FreeNative(kv.TWAIN_GetDib(i));
    }
};

TEST_F(Acquire, AWholeAcquisitionWithAHiddenInterface) {
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 1;
    kv.TWAIN_SetHideUI(1);
    HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
    ASSERT_NE(dib, nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 1);
    EXPECT_EQ(kv.TWAIN_GetDib(0), dib);
    EXPECT_EQ(kv.TWAIN_DibWidth(dib), 8);
    EXPECT_EQ(dsm.Names(),
              (Names{"DSM PARENT/OPENDSM", "DSM IDENTITY/GETDEFAULT", "DSM IDENTITY/OPENDS", "DS USERINTERFACE/ENABLEDS",
                     "DS EVENT/PROCESSEVENT", "DS IMAGENATIVEXFER/GET", "DS PENDINGXFERS/ENDXFER",
                     "DS USERINTERFACE/DISABLEDS", "DSM IDENTITY/CLOSEDS", "DSM PARENT/CLOSEDSM"}));
    EXPECT_EQ(dsm.calls[5].dg, DG_IMAGE);
    EXPECT_EQ(dsm.calls[5].msg, MSG_GET);
    EXPECT_EQ(dsm.calls[3].As<TW_USERINTERFACE>().ShowUI, 0);
    EXPECT_TRUE(dsm.Calls("DS CAPABILITY/GET").empty()) << "a 0 mask negotiates nothing";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Acquire, TheProxyWindowStandsInForAMissingWindow) {
    HWND parent = nullptr;
    bool disabledDuringLoop = false;
    bool enabledAtDisable = false;
    dsm.On(DAT_USERINTERFACE, MSG_ENABLEDS, [&](Triplet& call) {
        parent = static_cast<HWND>(call.As<TW_USERINTERFACE>().hParent);
        ScriptedDsm::PostSourceEvent(MSG_XFERREADY);
        return TWRC_SUCCESS;
    });
    dsm.On(DAT_EVENT, MSG_PROCESSEVENT, [&](Triplet& call) {
        disabledDuringLoop = !::IsWindowEnabled(parent);
        auto* event = static_cast<TW_EVENT*>(call.data);
        event->TWMessage = MSG_XFERREADY;
        return TWRC_DSEVENT;
    });
    dsm.On(DAT_USERINTERFACE, MSG_DISABLEDS, [&](Triplet&) {
        enabledAtDisable = ::IsWindowEnabled(parent) != FALSE;
        return TWRC_SUCCESS;
    });
    dsm.pagesPending = 1;
    ASSERT_NE(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    ASSERT_NE(parent, nullptr);
    EXPECT_FALSE(::IsWindow(parent)) << "the proxy is destroyed before the call returns";
    EXPECT_TRUE(disabledDuringLoop);
    EXPECT_TRUE(enabledAtDisable) << "enabled again after the loop";
    // It was the proxy: its open-manager parent is the same window.
    EXPECT_EQ(dsm.Calls("DSM PARENT/OPENDSM").at(0).As<HWND>(), parent);
}

TEST_F(Acquire, TheProxyIsAVisibleStaticPopup) {
    std::string cls, caption;
    LONG style = 0, exStyle = -1;
    dsm.On(DAT_USERINTERFACE, MSG_ENABLEDS, [&](Triplet& call) {
        HWND proxy = static_cast<HWND>(call.As<TW_USERINTERFACE>().hParent);
        cls = ClassName(proxy);
        caption = Caption(proxy);
        style = ::GetWindowLongA(proxy, GWL_STYLE);
        exStyle = ::GetWindowLongA(proxy, GWL_EXSTYLE);
        EXPECT_EQ(::GetWindow(proxy, GW_OWNER), nullptr);
        ScriptedDsm::PostSourceEvent(MSG_CLOSEDSREQ);
        return TWRC_SUCCESS;
    });
    // An invalid handle is replaced by the proxy as a missing one is, without a message.
    EXPECT_EQ(kv.TWAIN_AcquireNative(reinterpret_cast<HWND>(0x12345678), 0), nullptr);
    EXPECT_EQ(_stricmp(cls.c_str(), "Static"), 0) << cls;
    EXPECT_EQ(caption, "Acquire Proxy");
    EXPECT_EQ(style & (WS_POPUPWINDOW | WS_VISIBLE), static_cast<LONG>(WS_POPUPWINDOW | WS_VISIBLE));
    EXPECT_EQ(exStyle & ~WS_EX_WINDOWEDGE, 0) << "no extended style of its own";
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Acquire, ACallersWindowIsDisabledDuringTheLoopAndKept) {
    bool disabled = false;
    dsm.On(DAT_EVENT, MSG_PROCESSEVENT, [&](Triplet& call) {
        disabled = !::IsWindowEnabled(window);
        static_cast<TW_EVENT*>(call.data)->TWMessage = MSG_CLOSEDSREQ;
        return TWRC_DSEVENT;
    });
    ::PostMessageA(window, WM_NULL, 0, 0);
    EXPECT_EQ(kv.TWAIN_AcquireNative(window, 0), nullptr);
    EXPECT_EQ(dsm.Calls("DS USERINTERFACE/ENABLEDS").at(0).As<TW_USERINTERFACE>().hParent, window);
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_TRUE(::IsWindowEnabled(window));
}

std::vector<std::pair<HANDLE, int>> callbacksSeen;
std::vector<int> statesInCallbacks;
std::vector<int> listedInCallbacks;
KavrelApi* callbackApi = nullptr;

void WINAPI RecordingCallback(HANDLE dib, int index) {
    callbacksSeen.emplace_back(dib, index);
    statesInCallbacks.push_back(callbackApi->TWAIN_State());
    listedInCallbacks.push_back(callbackApi->TWAIN_GetNumDibs());
}

TEST_F(Acquire, AFeederDeliversEveryPageWithCallbacksInOrder) {
    auto& seen = callbacksSeen;
    auto& statesSeen = statesInCallbacks;
    seen.clear();
    statesSeen.clear();
    listedInCallbacks.clear();
    callbackApi = &kv;
    kv.TWAIN_RegisterCallback(&RecordingCallback);
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 3;
    HANDLE last = kv.TWAIN_AcquireNative(nullptr, 0);
    ASSERT_EQ(kv.TWAIN_GetNumDibs(), 3);
    ASSERT_EQ(seen.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].second, i);
        EXPECT_EQ(seen[i].first, kv.TWAIN_GetDib(i));
        EXPECT_EQ(statesSeen[i], 7) << "the callback runs before MSG_ENDXFER";
        EXPECT_EQ(listedInCallbacks[i], i + 1) << "and after its image is listed";
    }
    EXPECT_EQ(last, kv.TWAIN_GetDib(2)) << "the last page, not a copy";
    EXPECT_EQ(kv.TWAIN_GetDib(3), nullptr);
    EXPECT_EQ(dsm.Calls("DS IMAGENATIVEXFER/GET").size(), 3u);
    EXPECT_EQ(dsm.Calls("DS PENDINGXFERS/ENDXFER").size(), 3u);

    // The list does not own its handles: freeing one leaves it in its slot, and clearing the
    // list frees nothing.
    HANDLE first = kv.TWAIN_GetDib(0);
    kv.TWAIN_FreeNative(first);
    EXPECT_EQ(kv.TWAIN_GetDib(0), first);
    HANDLE second = kv.TWAIN_GetDib(1);
    kv.TWAIN_ClearDibList();
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_GetDib(1), nullptr);
    EXPECT_GT(::GlobalSize(second), 0u);
    kv.TWAIN_FreeNative(second);
    kv.TWAIN_FreeNative(last);
    kv.TWAIN_UnRegisterCallback();
}

TEST_F(Acquire, ACallbackOfEitherConventionKeepsTheStackIntact) {
    static int calls;
    calls = 0;
    // A caller-cleans callback: the library must not be thrown off by the arguments left behind.
    void (__cdecl *cdeclCallback)(HANDLE, int) = [](HANDLE, int) { ++calls; };
    kv.TWAIN_RegisterCallback(reinterpret_cast<TW_TRANSFER_CALLBACK>(reinterpret_cast<void*>(cdeclCallback)));
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 2;
    ASSERT_NE(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(calls, 2);
    kv.TWAIN_UnRegisterCallback();
    dsm.pagesPending = 1;
    ASSERT_NE(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(calls, 2) << "no callback after it was unregistered";
}

TEST_F(Acquire, ACancelledScanKeepsTheSourceEnabledUntilItAsksToClose) {
    int transfers = 0;
    dsm.On(DAT_IMAGENATIVEXFER, MSG_GET, [&](Triplet&) {
        ++transfers;
        ScriptedDsm::PostSourceEvent(MSG_CLOSEDSREQ);  // the operator closes the source later
        return TWRC_CANCEL;
    }, DG_IMAGE);
    dsm.eventAfterEnable = MSG_XFERREADY;
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(transfers, 1);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(dsm.Calls("DS USERINTERFACE/DISABLEDS").size(), 1u);
}

TEST_F(Acquire, ACloseRequestBeforeAnyImageEndsTheLoop) {
    dsm.eventAfterEnable = MSG_CLOSEDSREQ;
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_TRUE(dsm.Calls("DS IMAGENATIVEXFER/GET").empty());
    EXPECT_EQ(dsm.Names().back(), "DSM PARENT/CLOSEDSM");
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Acquire, QuitEndsTheLoopAndIsConsumed) {
    dsm.On(DAT_USERINTERFACE, MSG_ENABLEDS, [](Triplet&) {
        ::PostQuitMessage(3);
        return TWRC_SUCCESS;
    });
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    MSG message;
    EXPECT_FALSE(::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(dsm.Calls("DS USERINTERFACE/DISABLEDS").size(), 1u);
}

TEST_F(Acquire, RepeatedlyFailingTransfersAreGivenUp) {
    int transfers = 0;
    dsm.On(DAT_IMAGENATIVEXFER, MSG_GET, [&](Triplet&) {
        ++transfers;
        return TWRC_FAILURE;
    }, DG_IMAGE);
    dsm.On(DAT_PENDINGXFERS, MSG_RESET, [&](Triplet& call) {
        static_cast<TW_PENDINGXFERS*>(call.data)->Count = 0;
        ScriptedDsm::PostSourceEvent(MSG_CLOSEDSREQ);
        return TWRC_SUCCESS;
    });
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 1;
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(transfers, 3) << "a few attempts, not for ever";
    EXPECT_EQ(dsm.Calls("DS PENDINGXFERS/RESET").size(), 1u);
}

TEST_F(Acquire, AThousandthImageIsRefusedAndTheListKept) {
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 1005;
    HANDLE last = kv.TWAIN_AcquireNative(nullptr, 0);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 999);
    EXPECT_EQ(dsm.Calls("DS IMAGENATIVEXFER/GET").size(), 999u);
    EXPECT_EQ(dsm.Calls("DS PENDINGXFERS/RESET").size(), 1u);
    EXPECT_EQ(last, kv.TWAIN_GetDib(998));
    EXPECT_NE(last, nullptr);
}

TEST_F(Acquire, AMaskIsNegotiatedBeforeEnabling) {
    dsm.On(DAT_CAPABILITY, MSG_GET, [](Triplet& call) {
        auto* cap = static_cast<TW_CAPABILITY*>(call.data);
        cap->ConType = TWON_ONEVALUE;
        const std::vector<std::uint8_t> one = {4, 0, 2, 0, 0, 0};  // UINT16 TWPT_RGB
        cap->hContainer = BlockOf(one);
        return TWRC_SUCCESS;
    });
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 1;
    ASSERT_NE(kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB), nullptr);
    const auto names = dsm.Names();
    EXPECT_EQ(names[3], "DS CAPABILITY/GET");
    EXPECT_EQ(names[4], "DS USERINTERFACE/ENABLEDS");
}

// --- failures of the chain, each reported once, all followed by the closing steps -----------

TEST_F(Acquire, AFailedNegotiationIsReportedWithItsRecord) {
    dsm.On(DAT_CAPABILITY, MSG_GET, [](Triplet& call) {
        auto* cap = static_cast<TW_CAPABILITY*>(call.data);
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = BlockOf({4, 0, 2, 0, 0, 0});
        return TWRC_SUCCESS;
    });
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_BW), nullptr);
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind("TWAIN Error|TWAIN_ReportLastError: an error occurred", 0), 0u) << boxes[0];
    EXPECT_TRUE(Contains(boxes, "Failed to negotiate Pixel Type.")) << boxes[0];
    EXPECT_TRUE(Contains(boxes, "Library error 13")) << boxes[0];
    EXPECT_TRUE(dsm.Calls("DS USERINTERFACE/ENABLEDS").empty());
    EXPECT_EQ(dsm.Calls("DSM IDENTITY/CLOSEDS").size(), 1u);
    EXPECT_EQ(dsm.Calls("DSM PARENT/CLOSEDSM").size(), 1u);
}

TEST_F(Acquire, TheReportNamesTheFirstFailureWithItsCodes) {
    struct Case {
        std::function<void(ScriptedDsm&)> script;
        unsigned long mask;
        const char* context;
        const char* record;
    };
    const Case cases[] = {
        {[](ScriptedDsm& d) { d.Answer(DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE); d.conditionCode = TWCC_NODS; },
         0, "Unable to open default Data Source.", "Library error 4: the default source could not be opened\n"
         "Result code 1 (TWRC_FAILURE), condition code 3 (TWCC_NODS)"},
        {[](ScriptedDsm& d) { d.Answer(DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_FAILURE); d.conditionCode = TWCC_LOWMEMORY; },
         0, "Failed to enable Data Source.", "Library error 5: the source could not be enabled\n"
         "Result code 1 (TWRC_FAILURE), condition code 2 (TWCC_LOWMEMORY)"},
        {[](ScriptedDsm& d) { d.Answer(DAT_CAPABILITY, MSG_GET, TWRC_FAILURE); d.conditionCode = TWCC_BADCAP; },
         2, "Failed to negotiate Pixel Type.", "Library error 2: the source refused to list its pixel types\n"
         "Result code 1 (TWRC_FAILURE), condition code 6 (TWCC_BADCAP)"},
        {[](ScriptedDsm& d) { d.Answer(DAT_CAPABILITY, MSG_GET, TWRC_SUCCESS); },
         2, "Failed to negotiate Pixel Type.", "Library error 8: the source returned no container\n"
         "Result code 0 (TWRC_SUCCESS), condition code 0 (TWCC_SUCCESS)"},
        {[](ScriptedDsm& d) {
             SourceOffers(d, TWON_ARRAY, {4, 0, 2, 0, 0, 0, 1, 0, 2, 0});  // UINT16 0, 1, 2
             d.Answer(DAT_CAPABILITY, MSG_SET, TWRC_FAILURE);
             d.conditionCode = TWCC_BADVALUE;
         },
         2, "Failed to negotiate Pixel Type.", "Library error 3: the source refused the narrowed pixel types\n"
         "Result code 1 (TWRC_FAILURE), condition code 10 (TWCC_BADVALUE)"},
        {[](ScriptedDsm& d) { SourceOffers(d, TWON_ARRAY, {4, 0, 0xE8, 3, 0, 0, 1, 0}); },  // 1000 items claimed
         2, "Failed to negotiate Pixel Type.", "Library error 9: the source's container could not be read\n"
         "Result code 0 (TWRC_SUCCESS), condition code 0 (TWCC_SUCCESS)"},
        {[](ScriptedDsm& d) { SourceOffers(d, TWON_RANGE, {4, 0, 0, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); },
         2, "Failed to negotiate Pixel Type.", "Library error 10: the source's container is of an unhandled type"},
        {[](ScriptedDsm& d) { SourceOffers(d, TWON_ARRAY, {5, 0, 1, 0, 0, 0, 1, 0, 0, 0}); },  // UINT32 items
         2, "Failed to negotiate Pixel Type.", "Library error 11: the pixel types are not 16-bit values"},
        {[](ScriptedDsm& d) { SourceOffers(d, TWON_ENUMERATION, {4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}); },
         2, "Failed to negotiate Pixel Type.", "Library error 12: the source offers no pixel types"},
    };
    for (const Case& c : cases) {
        ScriptedDsm dsmForCase;  // each case starts from a fresh script
        c.script(dsmForCase);
        const std::size_t before = Boxes().size();
        EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, c.mask), nullptr);
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), before + 1) << c.context;
        EXPECT_NE(boxes.back().find(c.context), std::string::npos) << boxes.back();
        EXPECT_NE(boxes.back().find(c.record), std::string::npos) << boxes.back();
        EXPECT_EQ(kv.TWAIN_State(), 1);
        EXPECT_EQ(dsmForCase.Names().back(), "DSM PARENT/CLOSEDSM");
    }
}

TEST_F(Acquire, AManagerThatWillNotOpenIsReportedAndStillClosed) {
    dsm.Answer(DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE);
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(Boxes(), Names{"TWAIN Error|Unable to open Source Manager (TWAIN_32.DLL)"});
    // The manager was loaded but never opened: MSG_CLOSEDSM is still sent.
    EXPECT_EQ(dsm.Names(), (Names{"DSM PARENT/OPENDSM", "DSM PARENT/CLOSEDSM"}));
}

TEST_F(Acquire, AnAlreadyOpenSourceIsNotUsedButClosed) {
    // A real manager refuses the second MSG_OPENDSM; one that accepts it must not change the
    // outcome either: the default source is not opened again in state 4.
    for (TW_UINT16 answer : {TWRC_FAILURE, TWRC_SUCCESS}) {
        dsm.Answer(DAT_PARENT, MSG_OPENDSM, TWRC_SUCCESS);
        ToState(4);
        dsm.Forget();
        dsm.Answer(DAT_PARENT, MSG_OPENDSM, answer);
        const std::size_t before = Boxes().size();
        EXPECT_EQ(kv.TWAIN_AcquireNative(window, 0), nullptr);
        const auto boxes = Boxes();
        ASSERT_EQ(boxes.size(), before + 1);
        EXPECT_EQ(boxes.back().rfind("TWAIN Error|TWAIN_ReportLastError: an error occurred", 0), 0u);
        EXPECT_NE(boxes.back().find("Unable to open default Data Source."), std::string::npos) << boxes.back();
        EXPECT_TRUE(dsm.Calls("DSM IDENTITY/OPENDS").empty());
        EXPECT_TRUE(dsm.Calls("DS USERINTERFACE/ENABLEDS").empty());
        EXPECT_EQ(dsm.Calls("DSM IDENTITY/CLOSEDS").size(), 1u);
        EXPECT_EQ(dsm.Calls("DSM PARENT/CLOSEDSM").size(), 1u);
        EXPECT_EQ(kv.TWAIN_State(), 1);
    }
}

// --- the loop, the hook and the transfer steps on their own --------------------------------

TEST_F(Acquire, TheLoopReturnsAtOnceWhileTheLastImageIsStillHeld) {
    dsm.eventAfterEnable = MSG_XFERREADY;
    dsm.pagesPending = 1;
    ASSERT_NE(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    dsm.eventAfterEnable = MSG_NULL;
    ToState(5);
    ::PostMessageA(window, WM_USER + 5, 0, 0);
    kv.TWAIN_ModalEventLoop();
    MSG message;
    EXPECT_TRUE(::PeekMessageA(&message, window, WM_USER + 5, WM_USER + 5, PM_REMOVE))
        << "the loop took no message";
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(window), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
}

TEST_F(Acquire, TheHookIsSilentBelowState5) {
    ToState(4);
    dsm.Forget();
    MSG message{};
    EXPECT_EQ(kv.TWAIN_MessageHook(&message), 0);
    EXPECT_TRUE(dsm.calls.empty());
    kv.TWAIN_CloseSourceManager(window);
    kv.TWAIN_UnloadSourceManager();
}

TEST_F(Acquire, TheHookHandsEveryMessageToTheSource) {
    ToState(5);
    dsm.Forget();
    MSG message{window, WM_MOUSEMOVE, 1, 2, 0, {0, 0}};
    EXPECT_EQ(kv.TWAIN_MessageHook(&message), 0) << "not the source's";
    dsm.On(DAT_EVENT, MSG_PROCESSEVENT, [](Triplet&) { return TWRC_DSEVENT; });
    EXPECT_EQ(kv.TWAIN_MessageHook(&message), 1);
    ASSERT_EQ(dsm.calls.size(), 2u);
    const auto event = dsm.calls[0].As<TW_EVENT>();
    EXPECT_EQ(event.pEvent, &message);
    EXPECT_EQ(event.TWMessage, MSG_NULL);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    kv.TWAIN_CloseSourceManager(window);
    kv.TWAIN_UnloadSourceManager();
}

TEST_F(Acquire, PendingTransfersAreEndedFromStates7And6) {
    // A cancelled transfer that the source will not end leaves the library in state 7.
    dsm.Answer(DAT_IMAGENATIVEXFER, MSG_GET, TWRC_CANCEL, DG_IMAGE);
    dsm.Answer(DAT_PENDINGXFERS, MSG_ENDXFER, TWRC_FAILURE);
    ToState(5);
    dsm.On(DAT_EVENT, MSG_PROCESSEVENT, [](Triplet& call) {
        static_cast<TW_EVENT*>(call.data)->TWMessage = MSG_XFERREADY;
        return TWRC_DSEVENT;
    });
    MSG message{window, WM_NULL, 0, 0, 0, {0, 0}};
    EXPECT_EQ(kv.TWAIN_MessageHook(&message), 1);
    EXPECT_EQ(kv.TWAIN_State(), 7);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_CloseSource(), 0) << "nothing is closed in state 7";
    EXPECT_TRUE(dsm.calls.empty());

    // Now the source ends it with one more pending: 7 -> 6, then the reset: 6 -> 5.
    dsm.On(DAT_PENDINGXFERS, MSG_ENDXFER, [](Triplet& call) {
        static_cast<TW_PENDINGXFERS*>(call.data)->Count = 1;
        return TWRC_SUCCESS;
    });
    EXPECT_EQ(kv.TWAIN_AbortAllPendingXfers(), 1);
    EXPECT_EQ(dsm.Names(), (Names{"DS PENDINGXFERS/ENDXFER", "DS PENDINGXFERS/RESET"}));
    EXPECT_EQ(kv.TWAIN_State(), 5);
    EXPECT_EQ(kv.TWAIN_AbortAllPendingXfers(), 1) << "nothing pending";
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(window), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
}

TEST_F(Acquire, TransferringOutsideState6Asserts) {
    ToState(5);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_NativeXferGetAll(nullptr), 5);
    EXPECT_EQ(Boxes(), Names{"SCANKIT|Assertion failed"});
    EXPECT_TRUE(dsm.calls.empty());
    kv.TWAIN_CloseSourceManager(window);
    kv.TWAIN_UnloadSourceManager();
}

// --- choosing a source ----------------------------------------------------------------------

TEST_F(Acquire, SelectingASourceOpensAndClosesTheManager) {
    HWND parent = nullptr;
    dsm.On(DAT_IDENTITY, MSG_USERSELECT, [&](Triplet& call) {
        parent = *static_cast<HWND*>(dsm.Calls("DSM PARENT/OPENDSM").at(0).data);
        const auto chosen = call.As<TW_IDENTITY>();
        EXPECT_EQ(chosen.Id, 0u);
        EXPECT_EQ(chosen.ProductName[0], '\0');
        EXPECT_EQ(chosen.SupportedGroups, 0u) << "cleared to zero";
        return TWRC_SUCCESS;
    });
    EXPECT_EQ(kv.TWAIN_SelectImageSource(nullptr), 1);
    EXPECT_EQ(dsm.Names(), (Names{"DSM PARENT/OPENDSM", "DSM IDENTITY/USERSELECT", "DSM PARENT/CLOSEDSM"}));
    EXPECT_NE(parent, nullptr);
    EXPECT_FALSE(::IsWindow(parent)) << "the proxy is gone";

    dsm.Forget();
    dsm.Answer(DAT_IDENTITY, MSG_USERSELECT, TWRC_CANCEL);
    EXPECT_EQ(kv.TWAIN_SelectImageSource(window), 0);
    EXPECT_EQ(dsm.Calls("DSM PARENT/OPENDSM").at(0).As<HWND>(), window);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Acquire, SelectingWithAnInvalidWindowTouchesNothing) {
    ToState(2);
    EXPECT_EQ(kv.TWAIN_SelectImageSource(reinterpret_cast<HWND>(0x12345678)), 0);
    EXPECT_EQ(Boxes(), Names{"TWAIN Error|TWAIN_SelectImageSource: window handle is invalid"});
    EXPECT_TRUE(dsm.calls.empty());
    EXPECT_EQ(kv.TWAIN_State(), 2);
    kv.TWAIN_UnloadSourceManager();
}

}  // namespace
}  // namespace kavrel::test
