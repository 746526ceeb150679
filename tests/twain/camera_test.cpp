// Wine's own camera data source (gphoto2.ds), a TWAIN source nobody here wrote, through Wine's own
// manager: the prefix lists it beside the virtual scanner, and each test program runs with a Mass
// Storage Camera attached that holds three pictures, and another camera beside it
// (tests/wine/with-camera.sh): the tests' camera is the one on its own port.
//
// What the camera source does, and what an operator with it meets:
// - it accepts only its own identity when it is opened (an empty one is refused), so the source
//   the operator picks must be opened by name;
// - it refuses to list its pixel types as an enumeration and answers TWRC_FAILURE
//   (TWCC_CAPBADOPERATION) unless the container type is left to it;
// - with its interface hidden it announces a transfer but has nothing marked to import, so every
//   transfer fails, and it never asks to be closed: the library gives up on the transfers and,
//   the batch being over, ends the acquisition without an image;
// - with its interface shown its "Files on Camera" dialog opens inside the enabling; after
//   "Import All" every picture arrives as a DIB section, which the library takes over as a DIB.
//   Its pending count never falls, so it never says the batch is over, and it never asks to be
//   closed once its dialog is gone: the transfers after the last picture fail, and the library
//   ends the acquisition because the batch delivered images. The acquisition answers null (its
//   last transfer failed); the pictures are in the DIB list, and kvrscan saves the first.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/dib_builder.h"
#include "support/jpeg_inspect.h"
#include "support/kavrel_api.h"
#include "support/test_support.h"
#include "support/window_driver.h"
#include "tools/kvrhost/script_host.h"
#include "twain/twain_protocol.h"

namespace kavrel::test {
namespace {

using namespace twain;

constexpr char kScannerName[] = "Kavrel Virtual Scanner";
constexpr char kCameraName[] = "Mass Storage Camera";
constexpr int kImportAll = 1002;  // the buttons of the camera source's dialog
constexpr int kExit = 1003;

// The pictures on the camera (tests/wine/make-prefix.sh), in the order the source imports them.
struct Picture {
    int width, height;
    std::uint8_t red, green, blue;
};
const Picture kPictures[] = {{64, 48, 200, 30, 30}, {48, 32, 30, 160, 60}, {80, 24, 40, 60, 200}};

// With more than one camera attached the source names each by its port as well.
constexpr char kCameraPort[] = "disk:/tmp/kvc";
bool IsOurCamera(const std::string& listed) {
    return listed == kCameraName || listed == std::string(kCameraName) + "@" + kCameraPort;
}

bool IsSelectionDialog(const SeenWindow& w) {
    return w.className == "#32770" && ::FindWindowExA(w.window, nullptr, "ListBox", nullptr);
}

// The manager's source-selection dialog: picks the source of this name (and records the list).
WindowHandler Choose(const std::string& name, std::vector<std::string>* listed = nullptr) {
    return [name, listed](const SeenWindow& w) {
        if (!IsSelectionDialog(w)) return PressFirstButton(w);
        HWND list = ::FindWindowExA(w.window, nullptr, "ListBox", nullptr);
        const auto count = ::SendMessageA(list, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[256] = {};
            ::SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            if (listed) listed->emplace_back(text);
            if (name == text || (name == kCameraName && IsOurCamera(text))) {
                ::SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
            }
        }
        return IDOK;
    };
}

class Camera : public ::testing::Test {
protected:
    Camera() {
        ini = scratch / "virtual-scanner.ini";
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", ini.c_str());
        WriteBytes(ini, "[Scanner]\r\nWidth=64\r\nHeight=40\r\n");
    }
    ~Camera() override {
        ::SetEnvironmentVariableA("KAVREL_VSCAN_INI", nullptr);
        for (int i = 0; i < kv.TWAIN_GetNumDibs(); ++i) kv.TWAIN_FreeNative(kv.TWAIN_GetDib(i));
    }
    bool Select(const std::string& name) {
        WindowWatcher watcher(Choose(name));
        return kv.TWAIN_SelectImageSource(nullptr) == 1;
    }

    ScratchDir scratch;
    std::string ini;
    KavrelApi kv;
};

TEST_F(Camera, TheManagerListsItBesideTheScannerAndThePickedSourceOpens) {
    std::vector<std::string> listed;
    {
        WindowWatcher watcher(Choose(kCameraName, &listed));
        ASSERT_EQ(kv.TWAIN_SelectImageSource(nullptr), 1);
    }
    ASSERT_GE(listed.size(), 3u) << "the scanner, this camera and the other";
    EXPECT_EQ(listed.front(), kScannerName);
    EXPECT_EQ(std::count_if(listed.begin(), listed.end(), IsOurCamera), 1);

    // Wine's manager opens the first source it lists for an empty identity; the camera opens only
    // because it is asked for by the name the operator picked. Its pixel types, asked for with a
    // mask, come back as its one value (colour) once the container is left to it: the answer is
    // that type's bit, where the scanner's enumeration would be narrowed and set (answer 1).
    ASSERT_EQ(kv.TWAIN_OpenSourceManager(nullptr), 1);
    ASSERT_EQ(kv.TWAIN_OpenDefaultSource(), 1);
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes((1u << TWPT_RGB) | (1u << TWPT_GRAY)), 1 << TWPT_RGB);
    EXPECT_EQ(kv.TWAIN_GetPixelType(), TWPT_RGB);
    EXPECT_EQ(kv.TWAIN_NegotiatePixelTypes(1u << TWPT_BW), 0) << "a colour camera has no black and white";
    EXPECT_EQ(kv.TWAIN_CloseSourceManager(nullptr), 1);
    EXPECT_EQ(kv.TWAIN_UnloadSourceManager(), 1);

    ASSERT_TRUE(Select(kScannerName));
    kv.TWAIN_SetHideUI(1);
    HANDLE page = kv.TWAIN_AcquireNative(nullptr, 0);
    EXPECT_NE(page, nullptr) << "the scanner picked afterwards is the one that opens";
    EXPECT_EQ(kv.TWAIN_DibWidth(page), 64);
}

TEST_F(Camera, WithItsInterfaceHiddenTheAcquisitionEndsWithoutAnImage) {
    ASSERT_TRUE(Select(kCameraName));
    kv.TWAIN_SetHideUI(1);
    WindowWatcher watcher;  // any box would be answered and counted
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 1u << TWPT_RGB), nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_TRUE(watcher.Dialogs().empty());

    // A normal acquisition right after, in the same process.
    ASSERT_TRUE(Select(kScannerName));
    EXPECT_NE(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

std::vector<int> arrivedIndexes;
void WINAPI NoteArrival(HANDLE, int index) { arrivedIndexes.push_back(index); }

TEST_F(Camera, ImportAllDeliversEveryPictureAsADibAndTheAcquisitionEnds) {
    ASSERT_TRUE(Select(kCameraName));
    bool dialogSeen = false;
    WindowWatcher watcher([&](const SeenWindow& w) {
        if (w.className != "#32770" || !::GetDlgItem(w.window, kImportAll)) return PressFirstButton(w);
        // "Files on Camera" (its caption and buttons are translated under the Russian settings).
        dialogSeen = ::GetDlgItem(w.window, kExit) != nullptr;
        PressDialogButton(w.window, kImportAll);
        return kImportAll;
    });
    arrivedIndexes.clear();
    kv.TWAIN_RegisterCallback(&NoteArrival);
    HANDLE last = kv.TWAIN_AcquireNative(nullptr, 0);
    kv.TWAIN_UnRegisterCallback();
    EXPECT_TRUE(dialogSeen);
    EXPECT_EQ(last, nullptr) << "the last transfer (after the pictures) failed";
    EXPECT_EQ(kv.TWAIN_State(), 1);
    EXPECT_EQ(arrivedIndexes, (std::vector<int>{0, 1, 2}));
    ASSERT_EQ(kv.TWAIN_GetNumDibs(), 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Picture& p = kPictures[i];
        HANDLE dib = kv.TWAIN_GetDib(i);
        EXPECT_EQ(kv.TWAIN_DibWidth(dib), p.width);
        EXPECT_EQ(kv.TWAIN_DibHeight(dib), p.height);
        ASSERT_EQ(kv.TWAIN_DibDepth(dib), 24);
        // The middle pixel, within what JPEG compression of a flat colour leaves.
        const auto bytes = BytesOf(static_cast<HGLOBAL>(dib));
        const std::size_t at = 40 + RowBytes(p.width, 24) * static_cast<std::size_t>(p.height / 2) +
                               3 * static_cast<std::size_t>(p.width / 2);
        ASSERT_GE(bytes.size(), at + 3);
        EXPECT_NEAR(bytes[at + 2], p.red, 8);
        EXPECT_NEAR(bytes[at + 1], p.green, 8);
        EXPECT_NEAR(bytes[at], p.blue, 8);
    }
}

TEST_F(Camera, ExitInItsDialogBringsNothing) {
    ASSERT_TRUE(Select(kCameraName));
    WindowWatcher watcher([&](const SeenWindow& w) {
        if (w.className != "#32770" || !::GetDlgItem(w.window, kExit)) return PressFirstButton(w);
        PressDialogButton(w.window, kExit);
        return kExit;
    });
    EXPECT_EQ(kv.TWAIN_AcquireNative(nullptr, 0), nullptr);
    EXPECT_EQ(kv.TWAIN_GetNumDibs(), 0);
    EXPECT_EQ(kv.TWAIN_State(), 1);
}

// kvrscan as a teller's script calls it, through the host stand-in: the operator picks the camera
// in the manager's dialog and presses "Import All"; the first picture is saved.
TEST(CameraKvrscan, SavesTheFirstPicture) {
    ScratchDir dir;
    hoststandin::ScriptHost host;
    ASSERT_TRUE(host.Load(KavrelDllPath())) << host.LoadError();
    host.Start();
    {
        const WindowHandler choose = Choose(kCameraName);
        WindowWatcher watcher([&](const SeenWindow& w) {
            if (IsSelectionDialog(w)) return choose(w);
            if (w.className == "#32770" && ::GetDlgItem(w.window, kImportAll)) {
                PressDialogButton(w.window, kImportAll);
                return kImportAll;
            }
            return PressFirstButton(w);
        });
        ASSERT_TRUE(host.Call("kvrscan", {dir.Path(), "camera", "result"}));
        EXPECT_EQ(watcher.Dialogs().size(), 2u) << "the manager's dialog and the camera's, nothing else";
    }
    ASSERT_EQ(host.integers.size(), 1u);
    EXPECT_EQ(host.integers[0].value, 0);
    EXPECT_TRUE(host.messages.empty());
    const JpegFacts saved = InspectJpeg(ReadBytes(dir / "camera.jpg"));
    EXPECT_TRUE(saved.valid);
    EXPECT_EQ(saved.width, kPictures[0].width);
    EXPECT_EQ(saved.height, kPictures[0].height);
    EXPECT_TRUE(host.faults.empty());
}

}  // namespace
}  // namespace kavrel::test
