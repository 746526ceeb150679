// The faults of the misbehaving-source table that a real manager cannot be made to show, through
// the scripted manager: a "transfer ready" pumped during a transfer, broken capability containers,
// WM_QUIT in the loop, a source the manager cannot open, a manager that will not open, a source
// that refuses every closing step. Each row: no crash, no hang, state 1 afterwards, and a normal
// acquisition right after it in the same process. The table is printed with each row's outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "support/dib_builder.h"
#include "support/test_support.h"
#include "twain/scripted_twain_fixture.h"

namespace kavrel::test {
namespace {

using namespace twain;
using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    std::string seen;
    bool asExpected = false;
};

Bytes Le32(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}; }
Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The source answers the pixel-type question with these container bytes.
void SourceOffers(ScriptedDsm& dsm, TW_UINT16 conType, Bytes bytes) {
    dsm.On(DAT_CAPABILITY, MSG_GET, [conType, bytes](Triplet& call) {
        auto* cap = static_cast<TW_CAPABILITY*>(call.data);
        cap->ConType = conType;
        cap->hContainer = BlockOf(bytes);
        return TWRC_SUCCESS;
    });
}

// A transfer callback that pumps the thread's messages, as a program keeping its window alive
// during a long transfer does: it hands a posted "transfer ready" to the library's hook.
KavrelApi* pumpingApi = nullptr;
void WINAPI PumpingCallback(HANDLE, int) {
    ScriptedDsm::PostSourceEvent(MSG_XFERREADY);
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) pumpingApi->TWAIN_MessageHook(&message);
}

// A transfer callback that starts another acquisition, as a host window dispatched inside the
// first one's loop (or one of its boxes) may.
HANDLE nestedAcquisition = nullptr;
void WINAPI AcquiringCallback(HANDLE, int) { nestedAcquisition = pumpingApi->TWAIN_AcquireNative(nullptr, 0); }
// The same with an acquisition to a file (through the same module, its file exports bound).
const KavrelApi* filingApi = nullptr;
std::string nestedFile;
int nestedFiling = 0;
void WINAPI FilingCallback(HANDLE, int) { nestedFiling = filingApi->TWAIN_AcquireToFilename(nullptr, nestedFile.c_str()); }
// A transfer callback whose owner takes each image as its own: it keeps the handle and takes it
// out of the list, so that nothing else frees it.
HANDLE takenImage = nullptr;
void WINAPI TakingCallback(HANDLE dib, int) {
    takenImage = dib;
    pumpingApi->TWAIN_ClearDibList();
}

// A window procedure that lets the operator choose a source when told to, as a program's "Select
// scanner" command does, dispatched by whatever loop runs (an acquisition's among them).
constexpr UINT kSelectSourceMessage = WM_APP + 7;
KavrelApi* selectingApi = nullptr;
WNDPROC procBeforeSelecting = nullptr;
int selectedAnswer = -1;
LRESULT CALLBACK SelectingWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == kSelectSourceMessage) {
        selectedAnswer = selectingApi->TWAIN_SelectImageSource(nullptr);
        return 0;
    }
    return ::CallWindowProcA(procBeforeSelecting, window, message, w, l);
}

// Whether some handle still holds the file open: opening it without sharing is refused then.
bool HeldOpen(const std::string& path) {
    HANDLE alone = ::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (alone == INVALID_HANDLE_VALUE) return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(alone);
    return false;
}

class SourceFaults : public ScriptedTwain {};

TEST_F(SourceFaults, WhatOnlyAScriptedManagerCanShow) {
    struct Row {
        const char* fault;
        const char* expected;
        std::function<Outcome()> run;
    };
    // The latest box that reports this context (the watcher keeps all of the test's boxes).
    const auto reportOf = [&](const char* context) {
        const auto boxes = Boxes();
        for (auto box = boxes.rbegin(); box != boxes.rend(); ++box) {
            if (box->find(context) != std::string::npos) return *box;
        }
        return std::string();
    };
    const auto libraryError = [&](int code) {
        // The report names the recorded library error: "Library error 9: ...".
        std::string needle = "Library error ";  // built in steps: GCC 12 warns falsely on a "+" chain
        needle += std::to_string(code);
        needle += ':';
        return reportOf("Failed to negotiate Pixel Type.").find(needle) != std::string::npos;
    };
    const Row rows[] = {
        {"MSG_XFERREADY again while transferring (a callback pumping messages)",
         "no transfer loop inside the first: 2 pages, 2 transfers, 2 listed", [&]() {
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 2;
             pumpingApi = &kv;
             kv.TWAIN_RegisterCallback(&PumpingCallback);
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             kv.TWAIN_UnRegisterCallback();
             const std::size_t transfers = dsm.Calls("DS IMAGENATIVEXFER/GET").size();
             return Outcome{std::to_string(transfers) + " transfers, " + std::to_string(kv.TWAIN_GetNumDibs()) + " listed",
                            dib && transfers == 2 && kv.TWAIN_GetNumDibs() == 2};
         }},
        {"TWAIN_AcquireNative again inside an acquisition", "refused at once (null, no triplet); the first one's image kept", [&]() {
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             pumpingApi = &kv;
             nestedAcquisition = reinterpret_cast<HANDLE>(1);
             kv.TWAIN_RegisterCallback(&AcquiringCallback);
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             kv.TWAIN_UnRegisterCallback();
             const std::size_t opened = dsm.Calls("DSM PARENT/OPENDSM").size();
             return Outcome{std::string(nestedAcquisition ? "the inner one ran" : "the inner one refused") + ", " +
                                std::to_string(opened) + " manager openings",
                            dib && !nestedAcquisition && opened == 1 && kv.TWAIN_GetNumDibs() == 1 &&
                                kv.TWAIN_GetDib(0) == dib};
         }},
        {"TWAIN_AcquireToFilename inside an acquisition", "refused (-1, no file); the first one's image not freed, listed", [&]() {
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             const KavrelApi withFileExports(true);
             filingApi = &withFileExports;
             const ScratchDir scratch;
             nestedFile = scratch / "nested.bmp";
             kv.TWAIN_RegisterCallback(&FilingCallback);
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             kv.TWAIN_UnRegisterCallback();
             const bool written = FileExists(nestedFile);
             return Outcome{"answered " + std::to_string(nestedFiling) + (written ? ", a file written" : ", no file"),
                            dib && nestedFiling == -1 && !written && ::GlobalSize(dib) != 0 &&
                                kv.TWAIN_GetNumDibs() == 1};
         }},
        {"TWAIN_AcquireToFilename inside a program's own acquisition (its loop, TWAIN_MessageHook)",
         "refused (-1, no file); the program's source still enabled, its image listed", [&]() {
             dsm.pagesPending = 1;
             const KavrelApi withFileExports(true);
             filingApi = &withFileExports;
             const ScratchDir scratch;
             nestedFile = scratch / "nested.bmp";
             nestedFiling = 0;
             kv.TWAIN_ClearDibList();  // the rows before freed theirs; this one starts the list itself
             ToState(5);
             kv.TWAIN_RegisterCallback(&FilingCallback);
             ScriptedDsm::PostSourceEvent(MSG_XFERREADY);
             MSG message;
             while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) kv.TWAIN_MessageHook(&message);
             kv.TWAIN_UnRegisterCallback();
             const int stateAfterBatch = kv.TWAIN_State();
             const int listed = kv.TWAIN_GetNumDibs();
             const bool written = FileExists(nestedFile);
             kv.TWAIN_DisableSource();
             kv.TWAIN_CloseSource();
             kv.TWAIN_CloseSourceManager(window);
             kv.TWAIN_UnloadSourceManager();
             return Outcome{"answered " + std::to_string(nestedFiling) + (written ? ", a file written" : ", no file") +
                                ", state " + std::to_string(stateAfterBatch) + " after the batch, " +
                                std::to_string(listed) + " listed",
                            nestedFiling == -1 && !written && stateAfterBatch == 5 && listed == 1};
         }},
        {"TWAIN_SelectImageSource from a window message the acquisition's loop dispatched",
         "refused (0, no selection); the acquisition goes on, its manager opened once, and the image arrives", [&]() {
             dsm.pagesPending = 1;
             dsm.On(DAT_USERINTERFACE, MSG_ENABLEDS, [&](Triplet&) {
                 ::PostMessageA(window, kSelectSourceMessage, 0, 0);
                 ScriptedDsm::PostSourceEvent(MSG_XFERREADY);
                 return TWRC_SUCCESS;
             });
             selectingApi = &kv;
             selectedAnswer = -1;
             procBeforeSelecting = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
                 window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SelectingWindowProc)));
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procBeforeSelecting));
             MSG left;  // a "transfer ready" that an acquisition ended under it left behind
             while (::PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) {}
             const std::size_t opened = dsm.Calls("DSM PARENT/OPENDSM").size();
             const std::size_t selections = dsm.Calls("DSM IDENTITY/USERSELECT").size();
             return Outcome{"answered " + std::to_string(selectedAnswer) + ", " + std::to_string(selections) +
                                " selections, " + std::to_string(opened) + " manager openings, " +
                                (dib ? "an image" : "no image"),
                            dib && selectedAnswer == 0 && selections == 0 && opened == 1 && kv.TWAIN_GetNumDibs() == 1};
         }},
        {"TWAIN_SelectImageSource in a program's own session: manager open, source open, source enabled",
         "the operator chooses (1) with the manager or the source open, refused (0) with the source enabled; "
         "the program's state stays 3, 4, 5", [&]() {
             std::string seen;
             bool kept = true;
             for (int state = 3; state <= 5; ++state) {
                 ToState(state);
                 dsm.Forget();
                 const int chosen = kv.TWAIN_SelectImageSource(nullptr);
                 const int after = kv.TWAIN_State();
                 const std::size_t selections = dsm.Calls("DSM IDENTITY/USERSELECT").size();
                 seen += (seen.empty() ? "" : ", ") + std::to_string(state) + " -> " + std::to_string(after) +
                         " answering " + std::to_string(chosen);
                 kept = kept && chosen == (state < 5 ? 1 : 0) && selections == (state < 5 ? 1u : 0u) && after == state;
                 kv.TWAIN_DisableSource();
                 kv.TWAIN_CloseSource();
                 kv.TWAIN_CloseSourceManager(window);
                 kv.TWAIN_UnloadSourceManager();
             }
             return Outcome{"states " + seen, kept};
         }},
        {"TWAIN_AcquireToFilename, a callback taking its images, the transfer after the last failing",
         "nothing written (-1): the callback's image is not the call's to write and free", [&]() {
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 2;
             int transfers = 0;
             dsm.On(DAT_IMAGENATIVEXFER, MSG_GET, [&](Triplet& call) {
                 if (transfers++ > 0) return TWRC_FAILURE;
                 *static_cast<HANDLE*>(call.data) = MakeDibBlock({8, 8, 24, 0, BI_RGB, 0, 40, 0});
                 return TWRC_XFERDONE;
             }, DG_IMAGE);
             const KavrelApi withFileExports(true);
             pumpingApi = &kv;
             takenImage = nullptr;
             const ScratchDir scratch;
             const std::string file = scratch / "taken.bmp";
             kv.TWAIN_RegisterCallback(&TakingCallback);
             const int answered = withFileExports.TWAIN_AcquireToFilename(nullptr, file.c_str());
             kv.TWAIN_UnRegisterCallback();
             const bool written = FileExists(file);
             const bool kept = takenImage && ::GlobalSize(takenImage) != 0;
             if (kept) kv.TWAIN_FreeNative(takenImage);
             return Outcome{"answered " + std::to_string(answered) + (written ? ", a file written" : ", no file") +
                                (kept ? ", the callback's image kept" : ", the callback's image freed"),
                            answered == -1 && !written && kept};
         }},
        {"the triplet log on, a manager that refuses to open, then one that refuses to close, then a program's refused opening",
         "the log file let go after each", [&]() {
             const ScratchDir scratch;
             const std::string log = scratch / "twain.log";
             ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", log.c_str());
             dsm.Answer(DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE);
             HANDLE refusedOpening = kv.TWAIN_AcquireNative(nullptr, 0);
             const bool heldAfterOpening = HeldOpen(log);
             dsm.Reset();
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             dsm.Answer(DAT_PARENT, MSG_CLOSEDSM, TWRC_FAILURE);
             HANDLE refusedClosing = kv.TWAIN_AcquireNative(nullptr, 0);
             const bool heldAfterClosing = HeldOpen(log);
             // A program's own step: the manager refuses to open, and the program, left with it
             // loaded, carries on without it.
             dsm.Reset();
             dsm.Answer(DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE);
             const int opened = kv.TWAIN_OpenSourceManager(window);
             const bool heldAfterProgramsOpening = HeldOpen(log);
             kv.TWAIN_UnloadSourceManager();
             ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", nullptr);
             const bool logged = FileExists(log);
             return Outcome{std::string(heldAfterOpening ? "held" : "let go") + " after the refused opening, " +
                                (heldAfterClosing ? "held" : "let go") + " after the refused closing, " +
                                (heldAfterProgramsOpening ? "held" : "let go") + " after a program's refused opening",
                            !refusedOpening && refusedClosing && !opened && logged && !heldAfterOpening &&
                                !heldAfterClosing && !heldAfterProgramsOpening};
         }},
        {"the triplet log on, a source whose transfers fail", "the same triplets as with the log off", [&]() {
             const ScratchDir scratch;
             const std::string log = scratch / "twain.log";
             std::vector<std::string> dialogue[2];
             for (int on = 0; on < 2; ++on) {
                 dsm.Reset();
                 dsm.eventAfterEnable = MSG_XFERREADY;
                 dsm.pagesPending = 1;
                 dsm.conditionCode = TWCC_OPERATIONERROR;
                 dsm.Answer(DAT_IMAGENATIVEXFER, MSG_GET, TWRC_FAILURE, DG_IMAGE);
                 ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", on ? log.c_str() : nullptr);
                 kv.TWAIN_AcquireNative(nullptr, 0);
                 dialogue[on] = dsm.Names();
             }
             ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", nullptr);
             const auto asked = [](const std::vector<std::string>& names) {
                 return std::to_string(std::count(names.begin(), names.end(), "DS STATUS/GET"));
             };
             return Outcome{std::to_string(dialogue[0].size()) + " triplets without the log (" + asked(dialogue[0]) +
                                " status), " + std::to_string(dialogue[1].size()) + " with it (" + asked(dialogue[1]) +
                                " status)",
                            FileExists(log) && dialogue[0] == dialogue[1]};
         }},
        {"the triplet log on, 25,000 window messages passed to the source before its batch",
         "the acquisition's opening still logged; the messages not the source's in one line with their count", [&]() {
             const ScratchDir scratch;
             const std::string log = scratch / "twain.log";
             ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", log.c_str());
             constexpr int kMessages = 25000;
             int passed = 0;
             dsm.pagesPending = 1;
             // A message waits whenever the loop asks for one, as on a desktop with the mouse
             // moving over the source's window; the batch after the last.
             dsm.On(DAT_USERINTERFACE, MSG_ENABLEDS, [](Triplet&) {
                 ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
                 return TWRC_SUCCESS;
             });
             dsm.On(DAT_EVENT, MSG_PROCESSEVENT, [&](Triplet& call) {
                 if (++passed < kMessages) {
                     ::PostThreadMessageA(::GetCurrentThreadId(), WM_NULL, 0, 0);
                     return TWRC_NOTDSEVENT;
                 }
                 static_cast<TW_EVENT*>(call.data)->TWMessage = MSG_XFERREADY;
                 return TWRC_DSEVENT;
             });
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             ::SetEnvironmentVariableA("KAVREL_TWAIN_LOG", nullptr);
             const auto older = ReadBytes(log + ".1");
             const auto newer = ReadBytes(log);
             const std::string text = std::string(older.begin(), older.end()) + std::string(newer.begin(), newer.end());
             const bool opening = text.find("DSM DG_CONTROL DAT_PARENT MSG_OPENDSM -> TWRC_SUCCESS") != std::string::npos;
             const bool closing = text.find("DSM DG_CONTROL DAT_PARENT MSG_CLOSEDSM -> TWRC_SUCCESS") != std::string::npos;
             const bool counted = text.find(" DS  DG_CONTROL DAT_EVENT MSG_PROCESSEVENT -> TWRC_NOTDSEVENT, state 5 -> 5, " +
                                            std::to_string(kMessages - 1) + " times\r\n") != std::string::npos;
             return Outcome{std::to_string(passed) + " messages, " + std::to_string(text.size()) + " bytes logged, the opening " +
                                (opening ? "kept" : "lost"),
                            dib && passed == kMessages && opening && closing && counted};
         }},
        {"an enumeration whose count runs past its block", "library error 9 (unusable), nothing read past it", [&]() {
             SourceOffers(dsm, TWON_ENUMERATION, Cat({{4, 0}, Le32(1000), Le32(0), Le32(0), {2, 0}}));
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB);
             return Outcome{dib ? "an image" : "null, reported", !dib && libraryError(9)};
         }},
        {"pixel types refused when asked for as an enumeration (Wine's camera source)",
         "asked once more, the container left to the source: its one value accepted, the image arrives", [&]() {
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             dsm.On(DAT_CAPABILITY, MSG_GET, [&](Triplet& call) {
                 auto* cap = static_cast<TW_CAPABILITY*>(call.data);
                 if (cap->ConType != TWON_DONTCARE16 && cap->ConType != TWON_ONEVALUE) {
                     dsm.conditionCode = TWCC_CAPBADOPERATION;
                     return TWRC_FAILURE;
                 }
                 cap->ConType = TWON_ONEVALUE;
                 cap->hContainer = BlockOf({4, 0, 2, 0, 0, 0});  // UINT16 TWPT_RGB
                 return TWRC_SUCCESS;
             });
             const std::size_t boxesBefore = Boxes().size();
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB);
             const auto asked = dsm.Calls("DS CAPABILITY/GET");
             const bool askedTwice = asked.size() == 2 && asked[0].As<TW_CAPABILITY>().ConType == TWON_ENUMERATION &&
                                     asked[1].As<TW_CAPABILITY>().ConType == TWON_DONTCARE16;
             return Outcome{std::string(dib ? "an image" : "null") + ", asked " + std::to_string(asked.size()) + " times",
                            dib && askedTwice && Boxes().size() == boxesBefore};
         }},
        {"the narrowed pixel types answered TWRC_CHECKSTATUS",
         "accepted when the type read back is wanted (the image arrives), else library error 3", [&]() {
             std::uint16_t current = TWPT_GRAY;
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             SourceOffers(dsm, TWON_ENUMERATION, Cat({{4, 0}, Le32(2), Le32(0), Le32(0), {1, 0, 2, 0}}));
             dsm.Answer(DAT_CAPABILITY, MSG_SET, TWRC_CHECKSTATUS);
             dsm.On(DAT_CAPABILITY, MSG_GETCURRENT, [&](Triplet& call) {
                 auto* cap = static_cast<TW_CAPABILITY*>(call.data);
                 cap->ConType = TWON_ONEVALUE;
                 cap->hContainer = BlockOf(Cat({{4, 0}, {std::uint8_t(current), 0, 0, 0}}));
                 return TWRC_SUCCESS;
             });
             HANDLE wanted = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_GRAY);
             if (wanted) kv.TWAIN_FreeNative(wanted);
             current = TWPT_RGB;
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             HANDLE unwanted = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_GRAY);
             return Outcome{std::string(wanted ? "an image" : "null") + ", then " + (unwanted ? "an image" : "null"),
                            wanted && !unwanted && libraryError(3)};
         }},
        {"a range container", "library error 10 (unhandled type)", [&]() {
             SourceOffers(dsm, TWON_RANGE, Bytes(22, 0));
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB);
             return Outcome{dib ? "an image" : "null, reported", !dib && libraryError(10)};
         }},
        {"an item type that is no 16-bit value", "library error 11", [&]() {
             SourceOffers(dsm, TWON_ARRAY, Cat({{9, 0}, Le32(1), Bytes(34, 'x')}));
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB);
             return Outcome{dib ? "an image" : "null, reported", !dib && libraryError(11)};
         }},
        {"an empty list", "library error 12", [&]() {
             SourceOffers(dsm, TWON_ARRAY, Cat({{4, 0}, Le32(0)}));
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB);
             return Outcome{dib ? "an image" : "null, reported", !dib && libraryError(12)};
         }},
        {"a current index past the block", "TWAIN_GetCapCurrent answers 0, the place untouched", [&]() {
             ToState(4);
             dsm.On(DAT_CAPABILITY, MSG_GETCURRENT, [](Triplet& call) {
                 auto* cap = static_cast<TW_CAPABILITY*>(call.data);
                 cap->ConType = TWON_ENUMERATION;
                 cap->hContainer = BlockOf(Cat({{4, 0}, Le32(0x7FFFFFFF), Le32(0x7FFFFFF0), Le32(0), {2, 0}}));
                 return TWRC_SUCCESS;
             });
             std::uint32_t place = 0xABCDEF01;
             const int got = kv.TWAIN_GetCapCurrent(ICAP_PIXELTYPE, TWTY_UINT16, &place);
             kv.TWAIN_CloseSourceManager(window);
             kv.TWAIN_UnloadSourceManager();
             return Outcome{"answered " + std::to_string(got), got == 0 && place == 0xABCDEF01};
         }},
        {"WM_QUIT during the loop", "the loop ends, null, the quit consumed", [&]() {
             dsm.On(DAT_USERINTERFACE, MSG_ENABLEDS, [](Triplet&) {
                 ::PostQuitMessage(0);
                 return TWRC_SUCCESS;
             });
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             MSG left;
             const bool quitLeft = ::PeekMessageA(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
             return Outcome{std::string(dib ? "an image" : "null") + (quitLeft ? ", the quit left" : ", consumed"),
                            !dib && !quitLeft};
         }},
        {"a source the manager cannot open (a DLL without DS_Entry)", "\"Unable to open default Data Source.\"", [&]() {
             dsm.Answer(DAT_IDENTITY, MSG_OPENDS, TWRC_FAILURE);
             dsm.conditionCode = TWCC_NODS;
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             const std::string box = reportOf("Unable to open default Data Source.");
             return Outcome{box.empty() ? "no report" : "reported", !dib && !box.empty()};
         }},
        {"a manager that refuses to open", "\"Unable to open Source Manager (TWAIN_32.DLL)\"", [&]() {
             dsm.Answer(DAT_PARENT, MSG_OPENDSM, TWRC_FAILURE);
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             const std::string box = reportOf("Unable to open Source Manager (TWAIN_32.DLL)");
             return Outcome{box.empty() ? "no report" : "reported", !dib && !box.empty()};
         }},
        {"a source that refuses to end, reset, be disabled or closed", "the image kept; state 1 all the same", [&]() {
             dsm.eventAfterEnable = MSG_XFERREADY;
             dsm.pagesPending = 1;
             for (TW_UINT16 msg : {MSG_ENDXFER, MSG_RESET}) dsm.Answer(DAT_PENDINGXFERS, msg, TWRC_FAILURE);
             dsm.Answer(DAT_USERINTERFACE, MSG_DISABLEDS, TWRC_FAILURE);
             dsm.Answer(DAT_IDENTITY, MSG_CLOSEDS, TWRC_FAILURE);
             dsm.Answer(DAT_PARENT, MSG_CLOSEDSM, TWRC_FAILURE);
             HANDLE dib = kv.TWAIN_AcquireNative(nullptr, 0);
             return Outcome{dib ? "an image" : "null", dib != nullptr};
         }},
    };

    kv.TWAIN_SetHideUI(1);
    std::string table = "| fault | expected | outcome | state after | normal acquisition after |\n|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        dsm.Reset();
        const Outcome outcome = row.run();
        const int stateAfter = kv.TWAIN_State();
        for (int i = 0; i < kv.TWAIN_GetNumDibs(); ++i) kv.TWAIN_FreeNative(kv.TWAIN_GetDib(i));

        dsm.Reset();
        dsm.eventAfterEnable = MSG_XFERREADY;
        dsm.pagesPending = 1;
        HANDLE normal = kv.TWAIN_AcquireNative(nullptr, 0);
        const bool normalWorks = normal && kv.TWAIN_GetNumDibs() == 1 && kv.TWAIN_State() == 1;
        if (normal) kv.TWAIN_FreeNative(normal);

        EXPECT_TRUE(outcome.asExpected) << row.fault << ": " << outcome.seen;
        EXPECT_EQ(stateAfter, 1) << row.fault;
        EXPECT_TRUE(normalWorks) << row.fault;
        table += std::string("| ") + row.fault + " | " + row.expected + " | " + outcome.seen +
                 (outcome.asExpected ? "" : " (NOT AS EXPECTED)") + " | " + std::to_string(stateAfter) + " | " +
                 (normalWorks ? "works" : "FAILS") + " |\n";
    }
    std::printf("\n%s\n", table.c_str());
    std::fflush(stdout);
}

}  // namespace
}  // namespace kavrel::test
