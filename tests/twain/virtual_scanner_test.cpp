// The virtual scanner driven straight through its DS_Entry, as a manager drives a source. What it
// tells the application goes to DSM_Entry of the TWAIN_32.DLL loaded in the process: the scripted
// one, which logs it. Its state table is walked triplet by triplet in every state, and rows check
// what it once got wrong: a second Scan, an empty feeder, the image information, a one-value set.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/win_handles.h"
#include "support/dib_builder.h"
#include "support/test_support.h"
#include "tools/virtual_scanner/source_states.h"
#include "twain/scripted_dsm_client.h"

namespace kavrel::test {
namespace {

using namespace twain;
using vscan::TripletStates;
using DsEntryFn = TW_UINT16(WINAPI*)(TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);

// The narrowest row taken in `state`: taken after a refusal, it shows the source is still there.
const TripletStates& Pin(int state) {
    const TripletStates* pin = nullptr;
    for (const TripletStates& row : vscan::kTripletStates) {
        if (row.AllowedIn(state) && (!pin || row.lastState - row.firstState < pin->lastState - pin->firstState)) pin = &row;
    }
    return *pin;
}

class VirtualScanner : public ::testing::Test {
protected:
    VirtualScanner() {
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
        Settings("");
        scanner.reset(::LoadLibraryA(WindowsPath(KAVREL_VSCAN_DS_PATH).c_str()));
        if (scanner) entry = reinterpret_cast<DsEntryFn>(reinterpret_cast<void*>(::GetProcAddress(scanner.get(), "DS_Entry")));
    }
    ~VirtualScanner() override {
        if (entry) Down();
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
    }
    void SetUp() override {
        ASSERT_TRUE(dsm.Installed());
        ASSERT_TRUE(entry) << "no DS_Entry in " << KAVREL_VSCAN_DS_PATH;
    }

    // A row's own keys, else a small pattern and two pages in the feeder (the first of a key counts).
    void Settings(const std::string& keys) { WriteBytes(ini, "[Scanner]\r\n" + keys + "Width=8\r\nHeight=6\r\nPages=2\r\n"); }

    TW_UINT16 Send(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) { return entry(&application, dg, dat, msg, data); }
    TW_UINT16 Condition() {
        TW_STATUS status{};
        Send(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }
    TW_UINT16 Enable(bool showUI) {
        TW_USERINTERFACE ui{showUI, 0, nullptr};
        return Send(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    TW_UINT16 Transfer(std::vector<std::uint8_t>* dib = nullptr) {
        TW_UINT32 handle = 0;
        const TW_UINT16 result = Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        if (handle && dib) *dib = BytesOf(reinterpret_cast<HGLOBAL>(handle));
        if (handle) ::GlobalFree(reinterpret_cast<HGLOBAL>(handle));
        return result;
    }
    TW_UINT16 Pending(TW_UINT16 msg, int* count = nullptr) {
        TW_PENDINGXFERS pending{};
        const TW_UINT16 result = Send(DG_CONTROL, DAT_PENDINGXFERS, msg, &pending);
        if (count) *count = pending.Count;
        return result;
    }
    TW_UINT16 SetPixelTypes(TW_UINT16 conType, const std::vector<TW_UINT16>& types) {
        std::vector<std::uint8_t> bytes;
        const auto append = [&](const auto& value) {
            const auto* p = reinterpret_cast<const std::uint8_t*>(&value);
            bytes.insert(bytes.end(), p, p + sizeof value);
        };
        if (conType == TWON_ONEVALUE) append(TW_ONEVALUE{TWTY_UINT16, types.at(0)});
        else append(TW_ENUMERATION_HEADER{TWTY_UINT16, static_cast<TW_UINT32>(types.size()), 0, 0});
        for (std::size_t i = conType == TWON_ONEVALUE ? types.size() : 0; i < types.size(); ++i) append(types[i]);
        GlobalBlock block(BlockOf(bytes));
        TW_CAPABILITY cap{ICAP_PIXELTYPE, conType, block.get()};
        return Send(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    }
    // A triplet of the table, with a record fit for it; what comes back is freed.
    TW_UINT16 SendRow(const TripletStates& row) {
        TW_IDENTITY identity{};
        TW_STATUS status{};
        TW_EVENT event{};
        TW_IMAGEINFO info{};
        switch (row.dat) {
        case DAT_IDENTITY: return Send(row.dg, row.dat, row.msg, &identity);
        case DAT_STATUS: return Send(row.dg, row.dat, row.msg, &status);
        case DAT_EVENT: return Send(row.dg, row.dat, row.msg, &event);
        case DAT_IMAGEINFO: return Send(row.dg, row.dat, row.msg, &info);
        case DAT_USERINTERFACE: return row.msg == MSG_ENABLEDS ? Enable(false) : Send(row.dg, row.dat, row.msg, &info);
        case DAT_PENDINGXFERS: return Pending(row.msg);
        case DAT_IMAGENATIVEXFER: return Transfer();
        case DAT_CAPABILITY: {
            if (row.msg == MSG_SET) return SetPixelTypes(TWON_ONEVALUE, {TWPT_RGB});
            TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
            const TW_UINT16 result = Send(row.dg, row.dat, row.msg, &cap);
            GlobalBlock container(cap.hContainer);
            return result;
        }
        default: ADD_FAILURE() << row.name << " has no record here"; return TWRC_FAILURE;
        }
    }
    // Back to state 3 from any state, each step taken where the source is.
    void Down() {
        Pending(MSG_ENDXFER);
        Pending(MSG_RESET);
        Send(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, nullptr);
        TW_IDENTITY identity{};
        Send(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity);
    }
    // From wherever it is to `state` the usual way (5: its window shown; 6: enabled without it),
    // with nothing logged yet.
    bool ToState(int state) {
        Down();
        TW_IDENTITY identity{};
        const bool reached = (state < 4 || Send(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity) == TWRC_SUCCESS) &&
                             (state < 5 || Enable(state == 5) == TWRC_SUCCESS) &&
                             (state < 7 || Transfer() == TWRC_XFERDONE);
        EXPECT_TRUE(reached) << "state " << state << " not reached";
        dsm.Forget();
        return reached;
    }
    int Told(TW_UINT16 message) const {
        int n = 0;
        for (const Triplet& call : dsm.calls) n += call.dat == DAT_NULL && call.msg == message;
        return n;
    }
    void PressScan() {
        HWND window = ::FindWindowA("KavrelVirtualScanner", nullptr);
        ASSERT_TRUE(window) << "the scanner's window is not there";
        ::SendMessageA(window, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED), 0);
    }
    // With `negotiated` set, enabled without the interface: the image information says, in state
    // 6 and again in 7, what the transfer delivers.
    void ExpectInfoOfDelivered(TW_UINT16 negotiated, int width, int height, int bits, TW_INT16 pixelType, int xDpi,
                               int yDpi) {
        ASSERT_TRUE(ToState(4));
        ASSERT_EQ(SetPixelTypes(TWON_ONEVALUE, {negotiated}), TWRC_SUCCESS);
        ASSERT_EQ(Enable(false), TWRC_SUCCESS);
        TW_IMAGEINFO ready{}, transferring{};
        EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &ready), TWRC_SUCCESS);
        std::vector<std::uint8_t> dib;
        ASSERT_EQ(Transfer(&dib), TWRC_XFERDONE);
        EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &transferring), TWRC_SUCCESS);
        EXPECT_EQ(std::memcmp(&ready, &transferring, sizeof ready), 0);
        BITMAPINFOHEADER header{};
        ASSERT_GE(dib.size(), sizeof header);
        std::memcpy(&header, dib.data(), sizeof header);
        EXPECT_EQ(header.biWidth, width);
        EXPECT_EQ(header.biHeight, height);
        EXPECT_EQ(header.biBitCount, bits);
        EXPECT_EQ(ready.ImageWidth, width);
        EXPECT_EQ(ready.ImageLength, height);
        EXPECT_EQ(ready.BitsPerPixel, bits);
        EXPECT_EQ(ready.PixelType, pixelType);
        EXPECT_EQ(ready.SamplesPerPixel, pixelType == TWPT_RGB ? 3 : 1);
        EXPECT_EQ(ready.BitsPerSample[0], pixelType == TWPT_RGB ? 8 : bits);
        EXPECT_EQ(ready.XResolution.Whole, xDpi);
        EXPECT_EQ(ready.YResolution.Whole, yDpi);
    }

    ScriptedDsm dsm;  // resident before the scanner tells it anything
    ScratchDir dir;
    const std::string ini = dir / "virtual-scanner.ini";
    Module scanner;
    DsEntryFn entry = nullptr;
    TW_IDENTITY application{};
};

TEST_F(VirtualScanner, TakesEachTripletOnlyInTheStatesOfItsTable) {
    std::string table = "| triplet | 3 | 4 | 5 | 6 | 7 | refused with |\n|---|---|---|---|---|---|---|\n";
    for (const TripletStates& row : vscan::kTripletStates) {
        table += std::string("| ") + row.name + " |";
        for (int state = vscan::kSourceClosed; state <= vscan::kTransferring; ++state) {
            SCOPED_TRACE(std::string(row.name) + " in state " + std::to_string(state));
            bool asTable = false;
            if (ToState(state)) {
                const TW_UINT16 result = SendRow(row);
                // Refused: nothing told, the source where it was. A closed source has no status
                // to give (the manager answers for it).
                asTable = row.AllowedIn(state)
                              ? result != TWRC_FAILURE
                              : result == TWRC_FAILURE && (state == vscan::kSourceClosed || Condition() == row.refusal) &&
                                    dsm.calls.empty() && SendRow(Pin(state)) != TWRC_FAILURE;
            }
            EXPECT_TRUE(asTable);
            table += std::string(row.AllowedIn(state) ? " taken" : " -") + (asTable ? "" : " (NOT SO)") + " |";
        }
        table += row.refusal == TWCC_SEQERROR ? " TWCC_SEQERROR |\n" : " TWCC_MAXCONNECTIONS |\n";
    }
    std::printf("\n%s\n", table.c_str());
    std::fflush(stdout);
}

TEST_F(VirtualScanner, DoesWhatItOnceGotWrong) {
    // An 8-bit grey file of 30 x 20 pixels at 300 x 150 dpi (11811 and 5906 pixels a metre).
    std::vector<RGBQUAD> greys(256);
    for (int i = 0; i < 256; ++i) greys[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    auto file = PaletteBmpFile(30, 20, 8, greys, [](int x, int y) { return x * 8 + y; });
    const LONG perMetre[] = {11811, 5906};
    std::memcpy(file.data() + 14 + 24, perMetre, sizeof perMetre);
    WriteBytes(dir / "grey.bmp", file);

    struct Row {
        const char* what;
        std::string settings;
        std::function<void()> check;
    };
    const Row rows[] = {
        {"Scan pressed twice announces one batch; after it, Scan in the same enabling delivers again", "Pages=1\r\n", [&] {
             ASSERT_TRUE(ToState(5));
             PressScan();
             PressScan();
             EXPECT_EQ(Told(MSG_XFERREADY), 1);
             EXPECT_EQ(Transfer(), TWRC_XFERDONE);
             int left = -1;
             EXPECT_EQ(Pending(MSG_ENDXFER, &left), TWRC_SUCCESS);
             EXPECT_EQ(left, 0);
             PressScan();
             EXPECT_EQ(Told(MSG_XFERREADY), 2);
             EXPECT_EQ(Transfer(), TWRC_XFERDONE);
             EXPECT_EQ(Told(MSG_CLOSEDSREQ), 0);  // its window is still there for the operator
         }},
        {"an empty feeder: enabling without the interface refused; with it, Scan announces nothing", "Pages=0\r\n", [&] {
             ASSERT_TRUE(ToState(4));
             EXPECT_EQ(Enable(false), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
             EXPECT_EQ(Enable(true), TWRC_SUCCESS);
             PressScan();
             EXPECT_TRUE(dsm.calls.empty());
         }},
        {"Image=: the image information is the file's", "Image=" + (dir / "grey.bmp") + "\r\n",
         [&] { ExpectInfoOfDelivered(TWPT_RGB, 30, 20, 8, TWPT_GRAY, 300, 150); }},
        {"the pattern in black and white: the image information says so", "",
         [&] { ExpectInfoOfDelivered(TWPT_BW, 8, 6, 1, TWPT_BW, 200, 200); }},
        {"a one value outside the allowed pixel types refused; the enumeration stays whole", "", [&] {
             ASSERT_TRUE(ToState(4));
             EXPECT_EQ(SetPixelTypes(TWON_ENUMERATION, {TWPT_GRAY}), TWRC_SUCCESS);
             EXPECT_EQ(SetPixelTypes(TWON_ONEVALUE, {TWPT_RGB}), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_BADVALUE);
             TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
             ASSERT_EQ(Send(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
             GlobalBlock container(cap.hContainer);
             const auto bytes = BytesOf(container.get());
             TW_ENUMERATION_HEADER header{};
             ASSERT_GE(bytes.size(), sizeof header + 2);
             std::memcpy(&header, bytes.data(), sizeof header);
             EXPECT_EQ(cap.ConType, TWON_ENUMERATION);
             EXPECT_EQ(header.NumItems, 1u);
             EXPECT_EQ(header.CurrentIndex, 0u);
             EXPECT_EQ(bytes[sizeof header], TWPT_GRAY);
             EXPECT_EQ(SetPixelTypes(TWON_ONEVALUE, {TWPT_GRAY}), TWRC_SUCCESS);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Settings(row.settings);
        row.check();
    }
}

}  // namespace
}  // namespace kavrel::test
