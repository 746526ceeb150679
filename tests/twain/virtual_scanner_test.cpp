// The virtual scanner driven straight through its DS_Entry, as a manager drives a source. What it
// tells the application goes to DSM_Entry of the TWAIN_32.DLL loaded in the process: the scripted
// one, which logs it. Its state table is walked in every state, and rows check what it once got
// wrong: a second Scan, an empty feeder, the image information, a one-value set, a list longer
// than its block, a reset depth, a settings file that cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/win_handles.h"
#include "support/dib_builder.h"
#include "support/test_support.h"
#include "tools/virtual_scanner/source_states.h"
#include "tools/virtual_scanner/test_pattern.h"
#include "twain/scripted_dsm_client.h"

namespace kavrel::test {
namespace {

using namespace twain;
using vscan::TripletStates;

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
        entry = reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void*>(::GetProcAddress(scanner.get(), "DS_Entry")));
    }
    ~VirtualScanner() override {
        if (entry) ToState(vscan::kSourceClosed);
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
    }
    void SetUp() override { ASSERT_TRUE(dsm.Installed() && entry) << KAVREL_VSCAN_DS_PATH; }

    // A row's own keys, else a small pattern and two pages in the feeder (the first of a key counts).
    void Settings(const std::string& keys) { WriteBytes(ini, "[Scanner]\r\n" + keys + "Width=8\r\nHeight=6\r\nPages=2\r\n"); }
    // A triplet; without a record, with a zeroed one (a hidden interface; for a capability, the
    // pixel type), and what comes back -- a container, a page (kept in `page` if asked) -- is freed.
    TW_UINT16 Send(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data = nullptr, std::vector<std::uint8_t>* page = nullptr) {
        if (data) return entry(&application, dg, dat, msg, data);
        std::uint8_t record[sizeof(TW_IDENTITY)] = {};
        const TW_CAPABILITY pixelType{ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
        if (dat == DAT_CAPABILITY) std::memcpy(record, &pixelType, sizeof pixelType);
        const TW_UINT16 result = entry(&application, dg, dat, msg, record);
        HGLOBAL returned = nullptr;
        if (dat == DAT_CAPABILITY || dat == DAT_IMAGENATIVEXFER) {
            std::memcpy(&returned, record + (dat == DAT_CAPABILITY ? offsetof(TW_CAPABILITY, hContainer) : 0), sizeof returned);
        }
        const GlobalBlock owned(returned);
        if (page && owned) *page = BytesOf(owned.get());
        return result;
    }
    TW_UINT16 Condition() {
        TW_STATUS status{};
        Send(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }
    TW_UINT16 Enable(bool showUI) {
        TW_USERINTERFACE ui{showUI, 0, nullptr};
        return Send(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    // The pixel type as one value, or as an enumeration of that one value.
    TW_UINT16 SetPixelType(TW_UINT16 conType, TW_UINT16 type) {
        struct OneItemList { TW_ENUMERATION_HEADER header; TW_UINT16 item; };
        const TW_ONEVALUE one{TWTY_UINT16, type};
        const OneItemList list{{TWTY_UINT16, 1, 0, 0}, type};
        const bool single = conType == TWON_ONEVALUE;
        const auto* bytes = static_cast<const std::uint8_t*>(single ? static_cast<const void*>(&one) : &list);
        GlobalBlock block(BlockOf(std::vector<std::uint8_t>(bytes, bytes + (single ? sizeof one : sizeof list))));
        TW_CAPABILITY cap{ICAP_PIXELTYPE, conType, block.get()};
        return Send(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    }
    TW_UINT16 SetOne(TW_UINT16 capability, TW_UINT16 itemType, TW_UINT32 item) {
        const TW_ONEVALUE one{itemType, item};
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&one);
        GlobalBlock block(BlockOf(std::vector<std::uint8_t>(bytes, bytes + sizeof one)));
        TW_CAPABILITY cap{capability, TWON_ONEVALUE, block.get()};
        return Send(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    }
    static TW_FIX32 Fix(double value) {
        const auto scaled = static_cast<TW_INT32>(value * 65536.0 + 0.5);
        return {static_cast<TW_INT16>(scaled >> 16), static_cast<TW_UINT16>(scaled & 0xFFFF)};
    }
    // A frame in inches (the units at opening).
    TW_UINT16 SetFrame(double left, double top, double right, double bottom) {
        TW_IMAGELAYOUT layout{{Fix(left), Fix(top), Fix(right), Fix(bottom)}, 0, 0, 0};
        return Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout);
    }
    // From any state down to 3, each step taken where the source is, then up to `state` the usual
    // way (5: its window shown; 6: enabled without it); nothing logged yet.
    bool ToState(int state) {
        for (const auto& [dat, msg] : {std::pair{DAT_PENDINGXFERS, MSG_ENDXFER}, {DAT_PENDINGXFERS, MSG_RESET},
                                       {DAT_USERINTERFACE, MSG_DISABLEDS}, {DAT_IDENTITY, MSG_CLOSEDS}}) {
            Send(DG_CONTROL, dat, msg);
        }
        const bool reached = (state < 4 || Send(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS) == TWRC_SUCCESS) &&
                             (state < 5 || Enable(state == 5) == TWRC_SUCCESS) &&
                             (state < 7 || Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET) == TWRC_XFERDONE);
        EXPECT_TRUE(reached) << "state " << state << " not reached";
        dsm.Forget();
        return reached;
    }
    long Told(TW_UINT16 message) const {
        return std::count_if(dsm.calls.begin(), dsm.calls.end(), [&](const Triplet& c) { return c.dat == DAT_NULL && c.msg == message; });
    }
    void PressScan() { ::SendMessageA(::FindWindowA("KavrelVirtualScanner", nullptr), WM_COMMAND, 1, 0); }

    ScriptedDsm dsm;  // resident before the scanner tells it anything
    ScratchDir dir;
    const std::string ini = dir / "virtual-scanner.ini";
    Module scanner;
    DSENTRYPROC entry = nullptr;
    TW_IDENTITY application{};
};

TEST_F(VirtualScanner, TakesEachTripletOnlyInTheStatesOfItsTable) {
    std::string table = "| triplet | 3 | 4 | 5 | 6 | 7 | refused with |\n|---|---|---|---|---|---|---|\n";
    const auto send = [&](const TripletStates& r) {
        if (r.dat == DAT_IMAGELAYOUT && r.msg == MSG_SET) return SetFrame(0, 0, 0.02, 0.02);
        return r.dat == DAT_CAPABILITY && r.msg == MSG_SET ? SetPixelType(TWON_ONEVALUE, TWPT_RGB) : Send(r.dg, r.dat, r.msg);
    };
    for (const TripletStates& row : vscan::kTripletStates) {
        table += std::string("| ") + row.name + " |";
        for (int state = vscan::kSourceClosed; state <= vscan::kTransferring; ++state) {
            SCOPED_TRACE(std::string(row.name) + " in state " + std::to_string(state));
            // Refused: nothing told, the source still where it was. A closed source has no status
            // to give (the manager answers for it).
            const bool asTable = ToState(state) && (row.AllowedIn(state) ? send(row) != TWRC_FAILURE
                                                     : send(row) == TWRC_FAILURE && dsm.calls.empty() &&
                                                           (state == vscan::kSourceClosed || Condition() == row.refusal) &&
                                                           send(Pin(state)) != TWRC_FAILURE);
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
    std::memcpy(file.data() + 14 + offsetof(BITMAPINFOHEADER, biXPelsPerMeter), perMetre, sizeof perMetre);
    WriteBytes(dir / "grey.bmp", file);

    const std::tuple<const char*, std::string, std::function<void()>> rows[] = {
        {"Scan pressed twice announces one batch; after it, Scan delivers again", "Pages=1\r\n", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceEnabled));
             PressScan();
             PressScan();
             EXPECT_EQ(Told(MSG_XFERREADY), 1);
             EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET), TWRC_XFERDONE);
             EXPECT_EQ(Send(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER), TWRC_SUCCESS);
             PressScan();
             EXPECT_EQ(Told(MSG_XFERREADY), 2);
             EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET), TWRC_XFERDONE);
             EXPECT_EQ(Told(MSG_CLOSEDSREQ), 0);  // its window is still there for the operator
         }},
        {"an empty feeder: refused without the interface; with it, Scan does nothing", "Pages=0\r\n", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             EXPECT_EQ(Enable(false), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_OPERATIONERROR);
             EXPECT_EQ(Enable(true), TWRC_SUCCESS);
             PressScan();
             EXPECT_TRUE(dsm.calls.empty());
         }},
        {"Image=: the image information is the file's, in states 6 and 7", "Image=" + (dir / "grey.bmp") + "\r\n", [&] {
             ASSERT_TRUE(ToState(vscan::kTransferReady));
             TW_IMAGEINFO ready{}, transferring{};
             std::vector<std::uint8_t> dib;
             EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &ready), TWRC_SUCCESS);
             ASSERT_EQ(Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr, &dib), TWRC_XFERDONE);
             EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &transferring), TWRC_SUCCESS);
             EXPECT_EQ(std::memcmp(&ready, &transferring, sizeof ready), 0);
             ASSERT_GE(dib.size(), file.size() - 14);
             EXPECT_EQ(std::memcmp(dib.data(), file.data() + 14, file.size() - 14), 0);  // the file's DIB as it is
             EXPECT_EQ(std::vector<int>({ready.ImageWidth, ready.ImageLength, ready.BitsPerPixel, ready.PixelType,
                                         ready.SamplesPerPixel, ready.BitsPerSample[0], ready.XResolution.Whole,
                                         ready.YResolution.Whole}),
                       std::vector<int>({30, 20, 8, TWPT_GRAY, 1, 8, 300, 150}));
         }},
        {"a one value outside the allowed pixel types refused; the enumeration stays whole", "", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             EXPECT_EQ(SetPixelType(TWON_ENUMERATION, TWPT_GRAY), TWRC_SUCCESS);
             EXPECT_EQ(SetPixelType(TWON_ONEVALUE, TWPT_RGB), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_BADVALUE);
             TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
             ASSERT_EQ(Send(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap), TWRC_SUCCESS);
             const auto bytes = BytesOf(GlobalBlock(cap.hContainer).get());
             TW_ENUMERATION_HEADER header{};
             ASSERT_GE(bytes.size(), sizeof header + 2);
             std::memcpy(&header, bytes.data(), sizeof header);
             EXPECT_EQ(std::vector<unsigned>({cap.ConType, header.NumItems, header.CurrentIndex, bytes[sizeof header]}),
                       std::vector<unsigned>({TWON_ENUMERATION, 1, 0, TWPT_GRAY}));
         }},
        {"a list claiming more items than its block holds refused", "", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             struct OneItemList { TW_ENUMERATION_HEADER header; TW_UINT16 item; };
             const OneItemList claimsThree{{TWTY_UINT16, 3, 0, 0}, TWPT_GRAY};
             const auto* bytes = reinterpret_cast<const std::uint8_t*>(&claimsThree);
             GlobalBlock block(BlockOf(std::vector<std::uint8_t>(bytes, bytes + sizeof claimsThree)));
             TW_CAPABILITY cap{ICAP_PIXELTYPE, TWON_ENUMERATION, block.get()};
             EXPECT_EQ(Send(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_BADVALUE);
         }},
        {"a reset depth is the one the pixel type in effect delivers", "", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             ASSERT_EQ(SetPixelType(TWON_ONEVALUE, TWPT_GRAY), TWRC_SUCCESS);
             TW_CAPABILITY cap{ICAP_BITDEPTH, TWON_DONTCARE16, nullptr};
             ASSERT_EQ(Send(DG_CONTROL, DAT_CAPABILITY, MSG_RESET, &cap), TWRC_SUCCESS);
             const auto bytes = BytesOf(GlobalBlock(cap.hContainer).get());
             TW_ONEVALUE one{};
             ASSERT_GE(bytes.size(), sizeof one);
             std::memcpy(&one, bytes.data(), sizeof one);
             EXPECT_EQ(one.Item, 8u);
         }},
        {"a settings file named but not readable: the scanner will not open, rather than scan as a sound one", "", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceClosed));
             const std::string tooLong = dir / (std::string(MAX_PATH, 'n') + ".ini");
             const std::string unreadable = dir / "unreadable.ini";
             WriteBytes(unreadable, "[Scanner]\r\nFailEnable=1\r\n");
             LockPath(unreadable);
             for (const std::string& named : {dir / "missing.ini", tooLong, unreadable, dir.Path()}) {
                 ToState(vscan::kSourceClosed);
                 ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", named.c_str());
                 EXPECT_EQ(Send(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS), TWRC_FAILURE) << named;
             }
             UnlockPath(unreadable);
             // A name without a folder is a file in the current directory, as for everyone else.
             WriteBytes(dir / "relative.ini", "[Scanner]\r\nFailEnable=1\r\n");
             char previous[MAX_PATH] = {};
             ::GetCurrentDirectoryA(MAX_PATH, previous);
             ::SetCurrentDirectoryA(dir.Path().c_str());
             ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", "relative.ini");
             EXPECT_EQ(Send(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS), TWRC_SUCCESS);
             EXPECT_EQ(Enable(true), TWRC_FAILURE) << "the file was read";
             ::SetCurrentDirectoryA(previous);
             ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
             ASSERT_TRUE(ToState(vscan::kSourceClosed));
             EXPECT_EQ(Send(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS), TWRC_SUCCESS);
         }},
        {"a condition belongs to its triplet; a capability the scanner lacks is unsupported", "", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             EXPECT_EQ(SetPixelType(TWON_ONEVALUE, TWPT_PALETTE), TWRC_FAILURE);
             TW_CAPABILITY cap{ICAP_UNITS, TWON_DONTCARE16, nullptr};
             ASSERT_EQ(Send(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &cap), TWRC_SUCCESS);
             GlobalBlock{cap.hContainer};
             EXPECT_EQ(Condition(), TWCC_SUCCESS);
             cap = {CAP_FEEDERENABLED, TWON_DONTCARE16, nullptr};
             EXPECT_EQ(Send(DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, &cap), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_CAPUNSUPPORTED);
             EXPECT_EQ(SetOne(ICAP_PHYSICALWIDTH, TWTY_FIX32, 1), TWRC_FAILURE) << "a page's size is not set";
         }},
        {"the pattern at the resolution set, cut to the frame", "", [&] {
             // 8 x 6 pixels at 200 dpi is 16 x 12 at 400; the frame takes columns 4..11, rows 4..7.
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 400), TWRC_SUCCESS);
             ASSERT_EQ(SetOne(ICAP_YRESOLUTION, TWTY_FIX32, 400), TWRC_SUCCESS);
             ASSERT_EQ(SetFrame(0.01, 0.01, 0.03, 0.02), TWRC_SUCCESS);
             EXPECT_EQ(SetFrame(0.01, 0.01, 0.05, 0.02), TWRC_CHECKSTATUS) << "past the page's right edge";
             EXPECT_EQ(Condition(), TWCC_BADVALUE);
             ASSERT_EQ(SetFrame(0.01, 0.01, 0.03, 0.02), TWRC_SUCCESS);
             ASSERT_TRUE(Enable(false) == TWRC_SUCCESS);
             TW_IMAGEINFO info{};
             std::vector<std::uint8_t> dib;
             ASSERT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
             ASSERT_EQ(Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr, &dib), TWRC_XFERDONE);
             EXPECT_EQ(std::vector<int>({info.ImageWidth, info.ImageLength, info.XResolution.Whole, info.YResolution.Whole}),
                       std::vector<int>({8, 4, 400, 400}));
             ASSERT_EQ(dib.size(), 40 + RowBytes(8, 24) * 4);
             for (int y = 0; y < 4; ++y) {
                 for (int x = 0; x < 8; ++x) {
                     const std::uint8_t* bgr = dib.data() + 40 + RowBytes(8, 24) * static_cast<std::size_t>(3 - y) + 3 * x;
                     const vscan::Rgb c = vscan::PatternColour(x + 4, y + 4, 16, 12, 0);
                     EXPECT_EQ(std::vector<int>({bgr[2], bgr[1], bgr[0]}), std::vector<int>({c.red, c.green, c.blue}))
                         << x << ", " << y;
                 }
             }
         }},
        {"at 100 dpi the page keeps its last column and row; a frame sent back in centimetres is taken as it is",
         "Width=29\r\nHeight=29\r\n", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 100), TWRC_SUCCESS);
             ASSERT_EQ(SetOne(ICAP_YRESOLUTION, TWTY_FIX32, 100), TWRC_SUCCESS);
             ASSERT_EQ(SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_CENTIMETERS), TWRC_SUCCESS);
             TW_IMAGELAYOUT layout{};
             ASSERT_EQ(Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout), TWRC_SUCCESS);
             EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &layout), TWRC_SUCCESS);
             ASSERT_TRUE(Enable(false) == TWRC_SUCCESS);
             TW_IMAGEINFO info{};
             ASSERT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_SUCCESS);
             EXPECT_EQ(std::vector<int>({info.ImageWidth, info.ImageLength}), std::vector<int>({15, 15}));
         }},
        {"a pattern too large for the process is refused, not wrapped round to a small block",
         "Width=7954\r\nHeight=20000\r\n", [&] {
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, 600), TWRC_SUCCESS);
             ASSERT_EQ(SetOne(ICAP_YRESOLUTION, TWTY_FIX32, 600), TWRC_SUCCESS);
             ASSERT_TRUE(Enable(false) == TWRC_SUCCESS);
             TW_IMAGEINFO info{};
             EXPECT_EQ(Send(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info), TWRC_FAILURE);
             EXPECT_EQ(Condition(), TWCC_LOWMEMORY);
         }},
        {"a 1-bit file cut to a frame off its byte boundaries keeps its pixels", "Image=" + (dir / "bits.bmp") + "\r\n", [&] {
             const auto index = [](int x, int y) { return (x * 7 + y * 3) % 5 == 0 ? 1 : 0; };
             WriteBytes(dir / "bits.bmp", PaletteBmpFile(20, 10, 1, {{0, 0, 0, 0}, {255, 255, 255, 0}}, index));
             ASSERT_TRUE(ToState(vscan::kSourceOpen));
             ASSERT_EQ(SetFrame(0.015, 0.01, 0.075, 0.04), TWRC_SUCCESS);  // at 200 dpi: x 3..14, y 2..7
             ASSERT_TRUE(Enable(false) == TWRC_SUCCESS);
             std::vector<std::uint8_t> dib;
             ASSERT_EQ(Send(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr, &dib), TWRC_XFERDONE);
             ASSERT_EQ(dib.size(), 40 + 8 + RowBytes(12, 1) * 6);
             std::string seen, expected;
             for (int y = 0; y < 6; ++y) {
                 for (int x = 0; x < 12; ++x) {
                     const std::uint8_t* row = dib.data() + 48 + RowBytes(12, 1) * static_cast<std::size_t>(5 - y);
                     seen += static_cast<char>('0' + ((row[x / 8] >> (7 - x % 8)) & 1));
                     expected += static_cast<char>('0' + index(x + 3, y + 2));
                 }
             }
             EXPECT_EQ(seen, expected);
         }},
    };
    for (const auto& [what, settings, check] : rows) {
        SCOPED_TRACE(what);
        Settings(settings);
        check();
    }
}

}  // namespace
}  // namespace kavrel::test
