// The TWAIN session against the scripted manager: state-machine steps, the triplets each one
// sends (and does not send), result and condition codes, the application identity.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "support/test_support.h"
#include "twain/scripted_twain_fixture.h"

namespace kavrel::test {
namespace {

using namespace twain;
using Names = std::vector<std::string>;

class Session : public ScriptedTwain {};

TEST_F(Session, StartsInState1WithTheLoadTimeSettings) {
    EXPECT_EQ(kv.TWAIN_EasyVersion(), 106);
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_EQ(kv.TWAIN_GetHideUI(), 0);
    EXPECT_EQ(kv.TWAIN_GetResultCode(), 0);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_TRUE(dsm.calls.empty());
}

TEST_F(Session, AFullCycleSendsExactlyTheStepsTriplets) {
    EXPECT_EQ(kv.TWAIN_LoadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 2);
    EXPECT_TRUE(dsm.calls.empty()) << "loading sends nothing";

    EXPECT_EQ(kv.TWAIN_OpenSourceManager(window), 1);
    EXPECT_EQ(kv.TWAIN_State(), 3);
    EXPECT_EQ(kv.TWAIN_OpenDefaultSource(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 4);
    EXPECT_EQ(kv.TWAIN_EnableSource(window), 1);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    EXPECT_EQ(kv.TWAIN_DisableSource(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 4);
    EXPECT_EQ(kv.TWAIN_CloseSource(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 3);
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(window), 1);
    EXPECT_EQ(kv.TWAIN_State(), 2);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 1);

    EXPECT_EQ(dsm.Names(), (Names{"DSM PARENT/OPENDSM", "DSM IDENTITY/GETDEFAULT", "DSM IDENTITY/OPENDS",
                                  "DS USERINTERFACE/ENABLEDS", "DS USERINTERFACE/DISABLEDS", "DSM IDENTITY/CLOSEDS",
                                  "DSM PARENT/CLOSEDSM"}));
    // MSG_OPENDSM and MSG_CLOSEDSM carry a pointer to the window handle.
    EXPECT_EQ(dsm.calls[0].As<HWND>(), window);
    EXPECT_EQ(dsm.calls[6].As<HWND>(), window);
    // Without a choice in this process, MSG_OPENDS asks for the source the manager names as its
    // default.
    const auto opened = dsm.calls[2].As<TW_IDENTITY>();
    EXPECT_EQ(opened.Id, 7u);
    EXPECT_STREQ(opened.ProductName, "Scripted Scanner");
    // The source's identity, as the manager filled it, is the destination of source triplets
    // and what MSG_CLOSEDS closes.
    EXPECT_EQ(dsm.calls[3].destination.Id, 7u);
    EXPECT_STREQ(dsm.calls[3].destination.ProductName, "Scripted Scanner");
    EXPECT_STREQ(dsm.calls[5].As<TW_IDENTITY>().ProductName, "Scripted Scanner");
    const auto ui = dsm.calls[3].As<TW_USERINTERFACE>();
    EXPECT_EQ(ui.ShowUI, 1);
    EXPECT_EQ(ui.ModalUI, 0);
    EXPECT_EQ(ui.hParent, window);
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(Session, TheDefaultIdentityIsTheOriginOfEveryTriplet) {
    ToState(3);
    const TW_IDENTITY& app = dsm.calls.at(0).origin;
    EXPECT_EQ(app.Id, 0u);
    EXPECT_EQ(app.Version.MajorNum, 1);
    EXPECT_EQ(app.Version.MinorNum, 0);
    EXPECT_EQ(app.Version.Language, TWLG_USA);
    EXPECT_EQ(app.Version.Country, TWCY_USA);
    EXPECT_STREQ(app.Version.Info, "<?>");
    EXPECT_EQ(app.ProtocolMajor, 1);
    EXPECT_EQ(app.ProtocolMinor, 6);
    EXPECT_EQ(app.SupportedGroups, 3u);
    EXPECT_STREQ(app.Manufacturer, "<?>");
    EXPECT_STREQ(app.ProductFamily, "<?>");
    EXPECT_STREQ(app.ProductName, "<?>");
}

TEST_F(Session, RegisterAppRewritesTheIdentityAndCutsLongTexts) {
    const std::string longName(40, 'M');
    kv.TWAIN_RegisterApp(0x10002, 3, 0x10015, 7, "2.1 test", longName.c_str(), nullptr, "Kavrel");
    ToState(3);
    const TW_IDENTITY& app = dsm.calls.at(0).origin;
    EXPECT_EQ(app.Version.MajorNum, 2) << "the low 16 bits are stored";
    EXPECT_EQ(app.Version.MinorNum, 3);
    EXPECT_EQ(app.Version.Language, 0x15);
    EXPECT_EQ(app.Version.Country, 7);
    EXPECT_STREQ(app.Version.Info, "2.1 test");
    EXPECT_EQ(std::string(app.Manufacturer), std::string(33, 'M'));
    EXPECT_STREQ(app.ProductFamily, "");
    EXPECT_STREQ(app.ProductName, "Kavrel");
    EXPECT_EQ(app.ProtocolMajor, 1);
    EXPECT_EQ(app.ProtocolMinor, 6);
    EXPECT_EQ(app.SupportedGroups, 3u);
}

TEST_F(Session, HideUiAsksTheSourceToHideItsInterface) {
    kv.TWAIN_SetHideUI(5);
    EXPECT_EQ(kv.TWAIN_GetHideUI(), 1);
    ToState(5);
    EXPECT_EQ(dsm.Calls("DS USERINTERFACE/ENABLEDS").at(0).As<TW_USERINTERFACE>().ShowUI, 0);
    kv.TWAIN_SetHideUI(0);
    EXPECT_EQ(kv.TWAIN_GetHideUI(), 0);
}

TEST_F(Session, StepsInTheWrongStateSendNothing) {
    EXPECT_EQ(kv.TWAIN_OpenDefaultSource(), 0);
    EXPECT_EQ(kv.TWAIN_EnableSource(window), 0);
    EXPECT_EQ(kv.TWAIN_DisableSource(), 1) << "state 1 is 4 or less";
    EXPECT_EQ(kv.TWAIN_CloseSource(), 1);
    ToState(2);
    EXPECT_EQ(kv.TWAIN_OpenDefaultSource(), 0);
    EXPECT_EQ(kv.TWAIN_EnableSource(window), 0);
    ToState(3);
    EXPECT_EQ(kv.TWAIN_EnableSource(window), 0);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 0) << "the manager is open";
    EXPECT_EQ(kv.TWAIN_State(), 3);
    EXPECT_EQ(dsm.Names(), Names{"DSM PARENT/OPENDSM"});
}

TEST_F(Session, OpeningTheManagerAgainSendsTheTripletAgain) {
    ToState(3);
    EXPECT_EQ(kv.TWAIN_OpenSourceManager(window), 1);
    EXPECT_EQ(dsm.Names(), (Names{"DSM PARENT/OPENDSM", "DSM PARENT/OPENDSM"}));
    // With a source open a second MSG_OPENDSM does not take the state back to 3.
    ASSERT_EQ(kv.TWAIN_OpenDefaultSource(), 1);
    EXPECT_EQ(kv.TWAIN_OpenSourceManager(window), 1);
    EXPECT_EQ(kv.TWAIN_State(), 4);
}

TEST_F(Session, CheckStatusCountsAsEnabled) {
    dsm.Answer(DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_CHECKSTATUS);
    ToState(4);
    EXPECT_EQ(kv.TWAIN_EnableSource(window), 1);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_CHECKSTATUS);
}

TEST_F(Session, AFailedEnableRecordsTheSourcesStatus) {
    dsm.Answer(DAT_USERINTERFACE, MSG_ENABLEDS, TWRC_FAILURE);
    ToState(4);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_EnableSource(window), 0);
    EXPECT_EQ(kv.TWAIN_State(), 4);
    // Recording the error asks the source for its condition code.
    EXPECT_EQ(dsm.Names(), (Names{"DS USERINTERFACE/ENABLEDS", "DS STATUS/GET"}));
}

TEST_F(Session, AFailedOpenRecordsTheManagersStatus) {
    dsm.Answer(DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE);
    ToState(3);
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_OpenDefaultSource(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 3);
    EXPECT_EQ(dsm.Names(), (Names{"DSM IDENTITY/GETDEFAULT", "DSM IDENTITY/OPENDS", "DSM STATUS/GET"}));
}

TEST_F(Session, WhichSourceOpens) {
    // The operator's choice in this process, else the manager's default by name, else (a manager
    // that names none) the empty identity, which a manager takes for its default.
    const auto openedAfter = [&](const std::function<void()>& script) {
        dsm.Reset();
        script();
        ToState(4);
        const auto opened = dsm.Calls("DSM IDENTITY/OPENDS").at(0).As<TW_IDENTITY>();
        kv.TWAIN_CloseSourceManager(window);
        kv.TWAIN_UnloadSourceManager();
        return std::string(opened.ProductName) + "#" + std::to_string(opened.Id);
    };
    EXPECT_EQ(openedAfter([&] { dsm.Answer(DAT_IDENTITY, MSG_GETDEFAULT, TWRC_FAILURE); }), "#0");
    EXPECT_EQ(openedAfter([&] { dsm.Answer(DAT_IDENTITY, MSG_GETDEFAULT, TWRC_SUCCESS); }), "#0")
        << "a default without a name";
    EXPECT_EQ(openedAfter([] {}), "Scripted Scanner#7");

    // The operator picks another source than the manager's default: that one opens from now on,
    // without asking the manager for its default again; a later cancelled choice changes nothing.
    dsm.On(DAT_IDENTITY, MSG_USERSELECT, [](Triplet& call) {
        auto* chosen = static_cast<TW_IDENTITY*>(call.data);
        chosen->Id = 12;
        std::strcpy(chosen->ProductName, "Second Scanner");
        return TWRC_SUCCESS;
    });
    ASSERT_EQ(kv.TWAIN_SelectImageSource(window), 1);
    dsm.Answer(DAT_IDENTITY, MSG_USERSELECT, TWRC_CANCEL);
    ASSERT_EQ(kv.TWAIN_SelectImageSource(window), 0);
    // By name (Id 0): the Id given at selection may name another source by now.
    EXPECT_EQ(openedAfter([] {}), "Second Scanner#0");
    EXPECT_TRUE(dsm.Calls("DSM IDENTITY/GETDEFAULT").empty());
}

TEST_F(Session, FailedTripletsLeaveTheStateAsItWas) {
    dsm.Answer(DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE);
    dsm.Answer(DAT_IDENTITY, MSG_CLOSEDS, TWRC_FAILURE);
    dsm.Answer(DAT_PARENT, MSG_CLOSEDSM, TWRC_FAILURE);
    ToState(5);
    EXPECT_EQ(kv.TWAIN_DisableSource(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    EXPECT_EQ(kv.TWAIN_CloseSource(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 5);
    dsm.Answer(DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_SUCCESS);
    EXPECT_EQ(kv.TWAIN_CloseSource(), 0) << "disabled, but MSG_CLOSEDS refused";
    EXPECT_EQ(kv.TWAIN_State(), 4);
    dsm.Answer(DAT_IDENTITY, MSG_CLOSEDS, TWRC_SUCCESS);
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(window), 0);
    EXPECT_EQ(kv.TWAIN_State(), 3);
}

TEST_F(Session, ClosingAManagerThatWasNeverOpenedStillSendsCloseDsm) {
    dsm.Answer(DAT_PARENT, MSG_CLOSEDSM, TWRC_FAILURE);
    ToState(2);
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(window), 1) << "state 2 is 2 or less";
    EXPECT_EQ(kv.TWAIN_State(), 2);
    EXPECT_EQ(dsm.Names(), Names{"DSM PARENT/CLOSEDSM"});
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_FAILURE);
}

TEST_F(Session, ConditionCodeAsksTheRightParty) {
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_SEQERROR);
    ToState(2);
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_SEQERROR);
    EXPECT_TRUE(dsm.calls.empty());

    ToState(3);
    dsm.conditionCode = TWCC_NODS;
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_NODS);
    EXPECT_EQ(dsm.Names(), Names{"DSM STATUS/GET"});

    ASSERT_EQ(kv.TWAIN_OpenDefaultSource(), 1);
    dsm.conditionCode = TWCC_BADCAP;
    dsm.Forget();
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_BADCAP);
    EXPECT_EQ(dsm.Names(), Names{"DS STATUS/GET"});

    dsm.Answer(DAT_STATUS, MSG_GET, TWRC_FAILURE);
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_BUMMER);
}

TEST_F(Session, AskingForTheConditionCodeReplacesTheResultCode) {
    dsm.Answer(DAT_CAPABILITY, MSG_GET, TWRC_CHECKSTATUS);
    ToState(4);
    TW_CAPABILITY cap{};
    EXPECT_EQ(kv.TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), 0);
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_CHECKSTATUS);
    kv.TWAIN_GetConditionCode();
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_SUCCESS);
}

TEST_F(Session, AFailedStepKeepsItsCodes) {
    // Recording the failure asks for its condition code; both codes stay the failed triplet's,
    // not those of the library's own status triplet.
    ToState(3);
    dsm.Answer(DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE);
    dsm.conditionCode = TWCC_NODS;
    EXPECT_EQ(kv.TWAIN_OpenDefaultSource(), 0);
    dsm.conditionCode = TWCC_SUCCESS;  // what another status triplet would answer
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_FAILURE);
    EXPECT_EQ(kv.TWAIN_GetConditionCode(), TWCC_NODS);
    EXPECT_EQ(dsm.Calls("DSM STATUS/GET").size(), 1u);
}

TEST_F(Session, RawTripletsGoToTheSourceOrTheManager) {
    ToState(4);
    dsm.Forget();
    dsm.Answer(DAT_CAPABILITY, MSG_GET, TWRC_SUCCESS);
    TW_CAPABILITY cap{};
    EXPECT_EQ(kv.TWAIN_DS(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), 1);
    EXPECT_EQ(kv.TWAIN_Mgr(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), 1);
    ASSERT_EQ(dsm.calls.size(), 2u);
    EXPECT_TRUE(dsm.calls[0].toSource);
    EXPECT_EQ(dsm.calls[0].destination.Id, 7u);
    EXPECT_FALSE(dsm.calls[1].toSource);
    EXPECT_EQ(dsm.calls[0].data, &cap);
    // A result other than success is a failed triplet.
    dsm.Answer(DAT_CAPABILITY, MSG_GET, TWRC_CHECKSTATUS);
    EXPECT_EQ(kv.TWAIN_Mgr(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), 0);
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_CHECKSTATUS);
}

TEST_F(Session, SourceTripletsBelowState4AssertButAreStillSent) {
    ToState(3);
    dsm.Forget();
    TW_STATUS status{};
    EXPECT_EQ(kv.TWAIN_DS(DG_CONTROL, DAT_STATUS, MSG_GET, &status), 1);
    EXPECT_EQ(Boxes(), Names{"SCANKIT|Assertion failed"});
    EXPECT_EQ(dsm.Names(), Names{"DS STATUS/GET"});
}

TEST_F(Session, WithoutALoadedManagerTripletsFailWithoutCallingAnything) {
    TW_STATUS status{};
    EXPECT_EQ(kv.TWAIN_Mgr(DG_CONTROL, DAT_STATUS, MSG_GET, &status), 0);
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_FAILURE);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(kv.TWAIN_DS(DG_CONTROL, DAT_STATUS, MSG_GET, &status), 0);
    EXPECT_EQ(kv.TWAIN_GetResultCode(), TWRC_FAILURE);
    EXPECT_EQ(Boxes(), Names{"SCANKIT|Assertion failed"});
    EXPECT_TRUE(dsm.calls.empty());
}

TEST_F(Session, IsAvailableLoadsTheManagerOnceAndAnswersFromThen) {
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 1) << "the manager is unloaded again";
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 1);
    ToState(3);
    EXPECT_EQ(kv.TWAIN_IsAvailable(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 3);
    EXPECT_EQ(dsm.Names(), Names{"DSM PARENT/OPENDSM"});
}

TEST_F(Session, LoadingTwiceIsHarmless) {
    ToState(2);
    EXPECT_EQ(kv.TWAIN_LoadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

}  // namespace
}  // namespace kavrel::test
