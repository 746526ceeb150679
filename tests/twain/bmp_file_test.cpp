// DIBs written to and read back from BMP files: the header arithmetic, the round trip, the
// result codes, files that lie about their size, and the save and open dialogs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "support/dib_builder.h"
#include "support/kavrel_api.h"
#include "support/test_support.h"
#include "support/window_driver.h"

namespace kavrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t U32(const Bytes& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// Entries of a directory besides "." and "..".
int EntriesIn(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE find = ::FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int count = 0;
    do {
        if (std::strcmp(entry.cFileName, ".") != 0 && std::strcmp(entry.cFileName, "..") != 0) ++count;
    } while (::FindNextFileA(find, &entry));
    ::FindClose(find);
    return count;
}

class BmpFiles : public ::testing::Test {
protected:
    HGLOBAL Keep(HGLOBAL b) { return keeper.Keep(b); }
    KavrelApi kv{true};
    ScratchDir dir;
    BlockKeeper keeper;
};

TEST_F(BmpFiles, HeaderArithmeticForEachDepth) {
    struct Case {
        DibSpec spec;
        std::uint32_t sizeImage, offBits, fileSize;
    };
    const Case cases[] = {
        {{10, 3, 1}, 12, 62, 74},
        {{5, 2, 24}, 32, 54, 86},
        {{3, 2, 8}, 8, 1078, 1086},
        {{7, 1, 4, 3}, 4, 66, 70},  // biClrUsed 3 counts 3 colours
    };
    int n = 0;
    for (const Case& c : cases) {
        HGLOBAL dib = Keep(MakeDibBlock(c.spec));
        const std::string path = dir / ("case" + std::to_string(n++) + ".bmp");
        ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), 0);
        const Bytes file = ReadBytes(path);
        ASSERT_EQ(file.size(), c.fileSize);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(U32(file, 2), c.fileSize);
        EXPECT_EQ(U32(file, 6), 0u) << "both reserved fields";
        EXPECT_EQ(U32(file, 10), c.offBits);
        EXPECT_EQ(U32(file, 14 + 20), c.sizeImage) << "biSizeImage as computed";
        // Everything after the file header is the DIB itself, which now carries the size too.
        const Bytes dibNow = BytesOf(dib);
        EXPECT_EQ(U32(dibNow, 20), c.sizeImage);
        EXPECT_TRUE(std::equal(file.begin() + 14, file.end(), dibNow.begin()));
    }
}

TEST_F(BmpFiles, AWrittenFileReadsBackByteForByte) {
    HGLOBAL dib = Keep(MakeDibBlock({33, 17, 8, 0, BI_RGB, 0, 40, 5}));
    const std::string path = dir / "round.bmp";
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), 0);
    HANDLE loaded = kv.TWAIN_LoadNativeFromFilename(path.c_str());
    ASSERT_NE(loaded, nullptr);
    Keep(static_cast<HGLOBAL>(loaded));
    EXPECT_EQ(BytesOf(static_cast<HGLOBAL>(loaded)), BytesOf(dib));
    EXPECT_EQ(::GlobalFlags(static_cast<HGLOBAL>(loaded)) & GMEM_DISCARDABLE, 0u);
    EXPECT_EQ(kv.TWAIN_DibWidth(loaded), 33);
}

TEST_F(BmpFiles, OnlyBfSizeBytesAreRead) {
    HGLOBAL dib = Keep(MakeDibBlock({4, 4, 24}));
    const std::string path = dir / "tail.bmp";
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), 0);
    Bytes file = ReadBytes(path);
    file.insert(file.end(), {1, 2, 3, 4, 5});
    WriteBytes(path, file);
    HANDLE loaded = kv.TWAIN_LoadNativeFromFilename(path.c_str());
    ASSERT_NE(loaded, nullptr);
    Keep(static_cast<HGLOBAL>(loaded));
    EXPECT_EQ(BytesOf(static_cast<HGLOBAL>(loaded)), BytesOf(dib));
    // Pixels the file header places 8 bytes past the header come to where a packed DIB keeps them.
    const Bytes packed = BytesOf(dib);
    const Bytes header(packed.begin(), packed.begin() + 40);
    WriteBytes(path, BmpFileOf(header, Bytes(8, 0xEE), Bytes(packed.begin() + 40, packed.end())));
    HANDLE gapped = kv.TWAIN_LoadNativeFromFilename(path.c_str());
    ASSERT_NE(gapped, nullptr);
    Keep(static_cast<HGLOBAL>(gapped));
    EXPECT_EQ(BytesOf(static_cast<HGLOBAL>(gapped)), packed);
}

TEST_F(BmpFiles, ATableClaimedLongerThan256ColoursLoadsWithTheColoursGdiReads) {
    // 8 bits a pixel and biClrUsed 300, as some writers leave it: GDI reads 256 entries. Whether
    // the file holds those or all 300, the DIB loaded has the 256 and then its pixels.
    const Bytes pixels(4 * 4, 5);
    for (const std::size_t entriesInFile : {std::size_t{256}, std::size_t{300}}) {
        Bytes table(4 * entriesInFile);
        for (std::size_t i = 0; i < entriesInFile; ++i) {
            table[4 * i] = static_cast<std::uint8_t>(i);
            table[4 * i + 2] = static_cast<std::uint8_t>(255 - i);
        }
        const std::string path = dir / "long-table.bmp";
        WriteBytes(path, BmpFileOf(InfoHeaderBytes(40, 4, 4, 8, BI_RGB, 0, 300), table, pixels));
        HANDLE loaded = kv.TWAIN_LoadNativeFromFilename(path.c_str());
        ASSERT_NE(loaded, nullptr) << entriesInFile << " entries in the file";
        Keep(static_cast<HGLOBAL>(loaded));
        Bytes expected = InfoHeaderBytes(40, 4, 4, 8, BI_RGB, 0, 0);
        expected.insert(expected.end(), table.begin(), table.begin() + 4 * 256);
        expected.insert(expected.end(), pixels.begin(), pixels.end());
        EXPECT_EQ(BytesOf(static_cast<HGLOBAL>(loaded)), expected) << entriesInFile << " entries in the file";
        EXPECT_EQ(kv.TWAIN_DibNumColors(loaded), 256) << entriesInFile << " entries in the file";
    }
}

TEST_F(BmpFiles, FilesThatAreNoBitmapOrLieAboutTheirSizeAreRefused) {
    HGLOBAL dib = Keep(MakeDibBlock({4, 4, 24}));
    const std::string good = dir / "good.bmp";
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, good.c_str()), 0);
    const Bytes file = ReadBytes(good);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases;
    Bytes b = file;
    Put32(b, 2, 0);
    cases.push_back({"bfSize 0", b});
    b = file;
    Put32(b, 2, 13);
    cases.push_back({"bfSize below the header", b});
    b = file;
    Put32(b, 2, 0xFFFFFFF0u);
    cases.push_back({"bfSize of 4 GB", b});
    b = file;
    b.resize(b.size() - 1);
    cases.push_back({"a byte short of bfSize", b});
    b = file;
    b[1] = 'A';
    cases.push_back({"not BM", b});
    cases.push_back({"shorter than a file header", Bytes(file.begin(), file.begin() + 10)});
    cases.push_back({"empty", Bytes{}});
    for (const Case& c : cases) {
        const std::string path = dir / "bad.bmp";
        WriteBytes(path, c.bytes);
        EXPECT_EQ(kv.TWAIN_LoadNativeFromFilename(path.c_str()), nullptr) << c.what;
    }
    EXPECT_EQ(kv.TWAIN_LoadNativeFromFilename((dir / "missing.bmp").c_str()), nullptr);
}

TEST_F(BmpFiles, ResultCodesOfTheWriters) {
    // A null DIB: it cannot be locked, and no file is left.
    const std::string nothing = dir / "null.bmp";
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(nullptr, nothing.c_str()), -3);
    EXPECT_FALSE(FileExists(nothing));
    // A file that cannot be created.
    HGLOBAL dib = Keep(MakeDibBlock({4, 4, 24}));
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, (dir / "no\\such\\dir.bmp").c_str()), -2);
    // Compressed data without an image size: nothing is written, and no file is left.
    HGLOBAL rle = Keep(MakeDibBlock({4, 4, 8, 0, BI_RLE8, 0}));
    const std::string compressed = dir / "rle.bmp";
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(rle, compressed.c_str()), -4);
    EXPECT_FALSE(FileExists(compressed));
    EXPECT_EQ(EntriesIn(dir.Path()), 0) << "no temporary file left behind either";

    // A write that fails leaves the image that was there whole; one that succeeds replaces it.
    const std::string earlier = dir / "earlier.bmp";
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, earlier.c_str()), 0);
    const Bytes before = ReadBytes(earlier);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(nullptr, earlier.c_str()), -3);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(rle, earlier.c_str()), -4);
    EXPECT_EQ(ReadBytes(earlier), before);
    HGLOBAL other = Keep(MakeDibBlock({6, 2, 24, 0, BI_RGB, 0, 40, 9}));
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(other, earlier.c_str()), 0);
    EXPECT_EQ(ReadBytes(earlier).size(), 54u + 2 * 20);
    // A file this call may not replace (read-only) is not created over: -2, and it stays.
    ::SetFileAttributesA(earlier.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, earlier.c_str()), -2);
    ::SetFileAttributesA(earlier.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(ReadBytes(earlier).size(), 54u + 2 * 20);
    // A directory where no new file can be made but its files can be written (as some shares
    // are): the file is written in place -- and a DIB that is refused still leaves it as it was.
    const std::string shared = dir.Subdir("shared");
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(other, (shared + "\\in-place.bmp").c_str()), 0);
    ASSERT_EQ(RunUnix("chmod 555 '" + UnixPathOf(shared) + "' && chmod 666 '" + UnixPathOf(shared) + "/in-place.bmp'"), 0);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(rle, (shared + "\\in-place.bmp").c_str()), -4);
    EXPECT_EQ(ReadBytes(shared + "\\in-place.bmp").size(), 54u + 2 * 20);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, (shared + "\\in-place.bmp").c_str()), 0);
    EXPECT_EQ(ReadBytes(shared + "\\in-place.bmp").size(), 54u + 4 * 12);
    UnlockPath(shared);
    // A name relative to a drive's current directory is written there, not in the drive's root.
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryA(dir.Path().c_str()));
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, (dir.Path().substr(0, 2) + "drive-relative.bmp").c_str()), 0);
    ::SetCurrentDirectoryA(previous);
    EXPECT_EQ(ReadBytes(dir / "drive-relative.bmp").size(), 54u + 4 * 12);
    // A program whose file calls take OEM names (a console program's) replaces the file it names,
    // and no other: "подпись.bmp" in code page 866.
    const std::string oemName = dir.Subdir("oem") + "\\\xAF\xAE\xA4\xAF\xA8\xE1\xEC.bmp";
    ::SetFileApisToOEM();
    const int oemWritten = kv.TWAIN_WriteNativeToFilename(dib, oemName.c_str());  // a new file
    const int oemReplaced = kv.TWAIN_WriteNativeToFilename(other, oemName.c_str());
    const Bytes oemRead = ReadBytes(oemName);
    ::SetFileApisToANSI();
    EXPECT_EQ(oemWritten, 0);
    EXPECT_EQ(oemReplaced, 0);
    EXPECT_EQ(oemRead.size(), 54u + 2 * 20) << "the named file holds the second image";
    EXPECT_EQ(EntriesIn(dir / "oem"), 1) << "no file under another name";
    // The same through the lower writers, on an open file.
    OFSTRUCT of{};
    HFILE file = ::OpenFile((dir / "direct.bmp").c_str(), &of, OF_CREATE | OF_WRITE);
    ASSERT_NE(file, HFILE_ERROR);
    void* locked = ::GlobalLock(rle);
    EXPECT_EQ(kv.TWAIN_WriteDibToFile(static_cast<LPBITMAPINFOHEADER>(locked), file), 0);
    ::GlobalUnlock(rle);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFile(nullptr, file), -3);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFile(dib, file), 0);
    ::_lclose(file);
    EXPECT_EQ(ReadBytes(dir / "direct.bmp").size(), 54u + 4 * 12) << "only the 24-bit DIB was written";
}

TEST_F(BmpFiles, ABitFieldsDibIsWrittenWithItsMasks) {
    // 32 bits a pixel with three colour masks after a 40-byte header, as a 32-bit screen's
    // clipboard image often is: the masks go into the file between the header and the pixels.
    Bytes bytes = InfoHeaderBytes(40, 3, 2, 32, BI_BITFIELDS, 24);
    for (std::uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu}) {
        bytes.resize(bytes.size() + 4);
        Put32(bytes, bytes.size() - 4, mask);
    }
    for (int i = 0; i < 24; ++i) bytes.push_back(static_cast<std::uint8_t>(10 * i + 1));
    HGLOBAL dib = Keep(BlockOf(bytes));
    const std::string path = dir / "fields.bmp";
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), 0);
    const Bytes file = ReadBytes(path);
    ASSERT_EQ(file.size(), 14u + 40 + 12 + 24);
    EXPECT_EQ(U32(file, 2), 14u + 40 + 12 + 24);
    EXPECT_EQ(U32(file, 10), 14u + 40 + 12) << "the pixels come after the masks";
    EXPECT_TRUE(std::equal(file.begin() + 14, file.end(), bytes.begin()));
    HANDLE loaded = kv.TWAIN_LoadNativeFromFilename(path.c_str());
    ASSERT_NE(loaded, nullptr);
    Keep(static_cast<HGLOBAL>(loaded));
    EXPECT_EQ(BytesOf(static_cast<HGLOBAL>(loaded)), bytes);
    // An image size that claims fewer bytes than the rows hold: all rows are written, and the
    // file's header says how many.
    Put32(bytes, 20, 8);
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(Keep(BlockOf(bytes)), path.c_str()), 0);
    const Bytes corrected = ReadBytes(path);
    ASSERT_EQ(corrected.size(), 14u + 40 + 12 + 24);
    EXPECT_EQ(U32(corrected, 14 + 20), 24u);
}

TEST_F(BmpFiles, ACompressedDibWithItsSizeIsWrittenAsItIs) {
    // An 8-bit RLE DIB of 4 x 2: two rows of "4 pixels of index 7", end of bitmap.
    Bytes bytes = DibBytes({4, 2, 8, 0, BI_RLE8, 6});
    bytes.resize(40 + 1024 + 6);
    const std::uint8_t runs[6] = {4, 7, 0, 0, 0, 1};
    std::memcpy(bytes.data() + 40 + 1024, runs, sizeof runs);
    HGLOBAL dib = Keep(BlockOf(bytes));
    const std::string path = dir / "rle-sized.bmp";
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), 0);
    const Bytes file = ReadBytes(path);
    EXPECT_EQ(U32(file, 2), 54u + 1024 + 6);
    EXPECT_EQ(U32(file, 14 + 20), 6u) << "the image size is kept";
}

TEST_F(BmpFiles, DibsThatWouldBeReadPastTheirBlockAreRefused) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> lie;
    };
    const Case cases[] = {
        {"rows cut off", [](Bytes& b) { b.resize(b.size() - 1); }},
        {"taller than its block", [](Bytes& b) { Put32(b, 8, 400); }},
        {"biClrUsed beyond the block", [](Bytes& b) { Put32(b, 32, 5000); }},
        {"stored top-down", [](Bytes& b) { Put32(b, 8, static_cast<std::uint32_t>(-4)); }},
        {"a 108-byte header", [](Bytes& b) { Put32(b, 0, 108); }},
    };
    for (const Case& c : cases) {
        Bytes bytes = DibBytes({4, 4, 24});
        c.lie(bytes);
        HGLOBAL dib = Keep(BlockOf(bytes));
        const std::string path = dir / "refused.bmp";
        EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), -4) << c.what;
        EXPECT_FALSE(FileExists(path)) << c.what << ": nothing of it is written";
        void* locked = ::GlobalLock(dib);
        OFSTRUCT of{};
        HFILE file = ::OpenFile((dir / "direct.bmp").c_str(), &of, OF_CREATE | OF_WRITE);
        EXPECT_EQ(kv.TWAIN_WriteDibToFile(static_cast<LPBITMAPINFOHEADER>(locked), file), 0) << c.what;
        ::_lclose(file);
        ::GlobalUnlock(dib);
    }
}

TEST_F(BmpFiles, ADibInTheCallersOwnMemoryIsOnlyReadAndNotPastWhatIsMapped) {
    // Two pages reserved, the first committed: a DIB laid at its end, as a program hands one over
    // from memory of its own (a bitmap resource is read-only).
    const std::size_t page = 4096;
    auto* memory = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, 2 * page, MEM_RESERVE, PAGE_NOACCESS));
    ASSERT_NE(memory, nullptr);
    ASSERT_NE(::VirtualAlloc(memory, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
    const Bytes bytes = DibBytes({4, 4, 24});  // biSizeImage 0: the file's header counts it
    std::uint8_t* dib = memory + page - bytes.size();
    struct Case {
        const char* what;
        DWORD protection;
        std::uint32_t height;
        std::size_t written;  // 0: refused, nothing written
    };
    const Case cases[] = {
        {"read-only memory", PAGE_READONLY, 4, 54 + 48},
        {"rows claimed past the mapped end", PAGE_READWRITE, 400, 0},
    };
    for (const Case& c : cases) {
        DWORD old = 0;
        ASSERT_TRUE(::VirtualProtect(memory, page, PAGE_READWRITE, &old));
        std::memcpy(dib, bytes.data(), bytes.size());
        std::memcpy(dib + 8, &c.height, 4);
        const Bytes before(dib, dib + bytes.size());
        ASSERT_TRUE(::VirtualProtect(memory, page, c.protection, &old));
        const std::string path = dir / "own-memory.bmp";
        OFSTRUCT of{};
        HFILE file = ::OpenFile(path.c_str(), &of, OF_CREATE | OF_WRITE);
        ASSERT_NE(file, HFILE_ERROR);
        EXPECT_EQ(kv.TWAIN_WriteDibToFile(reinterpret_cast<LPBITMAPINFOHEADER>(dib), file), c.written ? 1 : 0) << c.what;
        ::_lclose(file);
        EXPECT_EQ(ReadBytes(path).size(), c.written) << c.what;
        EXPECT_EQ(Bytes(dib, dib + bytes.size()), before) << c.what << ": the caller's DIB is left as it was";
    }
    ::VirtualFree(memory, 0, MEM_RELEASE);
}

TEST_F(BmpFiles, NamesLongerThanTheSimpleFileInterfaceAllowsFail) {
    std::string longDir = dir.Path();
    while (longDir.size() < 140) {
        longDir += "\\" + std::string(20, 'd');
        ASSERT_TRUE(::CreateDirectoryA(longDir.c_str(), nullptr)) << longDir;
    }
    HGLOBAL dib = Keep(MakeDibBlock({4, 4, 24}));
    const std::string path = longDir + "\\x.bmp";
    ASSERT_GT(path.size(), 128u);
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, path.c_str()), -2);
    EXPECT_FALSE(FileExists(path));
    WriteBytes(path, DibBytes({4, 4, 24}));  // a file is there, but its name is too long to open
    EXPECT_EQ(kv.TWAIN_LoadNativeFromFilename(path.c_str()), nullptr);
}

// --- the dialogs ------------------------------------------------------------------------------

// The file dialogs have one text field for the name (inside a combo box in the Explorer style).
BOOL CALLBACK FindEdit(HWND child, LPARAM found) {
    char cls[16] = {};
    ::GetClassNameA(child, cls, sizeof cls);
    if (_stricmp(cls, "Edit") == 0 && ::IsWindowVisible(child)) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

// Types a name into a file dialog's name field and presses OK (or Cancel for an empty name).
WindowHandler TypeIntoFileDialog(const std::string& name, std::vector<std::string>* captions) {
    return [name, captions](const SeenWindow& w) -> int {
        if (w.className != "#32770") return 0;
        HWND edit = nullptr;
        ::EnumChildWindows(w.window, &FindEdit, reinterpret_cast<LPARAM>(&edit));
        if (!edit) return 0;  // not yet built
        captions->push_back(w.caption);
        if (name.empty()) return IDCANCEL;
        ::SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()));
        return IDOK;
    };
}

TEST_F(BmpFiles, TheSaveDialogAddsBmpOnlyWhenTheNameHasNoExtension) {
    HGLOBAL dib = Keep(MakeDibBlock({4, 4, 24}));
    struct Case {
        std::string typed;
        std::string expectedFile;
    };
    const Case cases[] = {
        {dir / "plain", dir / "plain.bmp"},
        {dir / "other.dib", dir / "other.dib"},
        {dir / "dotted.", dir / "dotted."},
    };
    for (const Case& c : cases) {
        std::vector<std::string> captions;
        {
            WindowWatcher watcher(TypeIntoFileDialog(c.typed, &captions));
            EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, nullptr), 0) << c.typed;
        }
        EXPECT_EQ(captions.size(), 1u);
        EXPECT_TRUE(FileExists(c.expectedFile)) << c.expectedFile;
    }
    EXPECT_FALSE(FileExists(dir / "other.dib.bmp"));
    EXPECT_FALSE(FileExists(dir / "dotted..bmp"));

    std::vector<std::string> captions;
    WindowWatcher watcher(TypeIntoFileDialog("", &captions));
    EXPECT_EQ(kv.TWAIN_WriteNativeToFilename(dib, ""), -1) << "cancelled";
}

TEST_F(BmpFiles, TheOpenDialogReadsTheChosenFile) {
    HGLOBAL dib = Keep(MakeDibBlock({6, 3, 24}));
    ASSERT_EQ(kv.TWAIN_WriteNativeToFilename(dib, (dir / "picked.bmp").c_str()), 0);
    std::vector<std::string> captions;
    {
        WindowWatcher watcher(TypeIntoFileDialog(dir / "picked", &captions));
        HANDLE loaded = kv.TWAIN_LoadNativeFromFilename(nullptr);
        ASSERT_NE(loaded, nullptr);
        Keep(static_cast<HGLOBAL>(loaded));
        EXPECT_EQ(kv.TWAIN_DibWidth(loaded), 6);
    }
    WindowWatcher watcher(TypeIntoFileDialog("", &captions));
    EXPECT_EQ(kv.TWAIN_LoadNativeFromFilename(""), nullptr) << "cancelled";
}

}  // namespace
}  // namespace kavrel::test
