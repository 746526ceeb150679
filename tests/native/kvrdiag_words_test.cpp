// kvrdiag's checks in words: from the facts a check found to its report lines, each at the level
// the finding deserves, with the fact and the first thing to do; where a check stops or goes on.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/operator_messages.h"
#include "tools/kvrdiag/directory_words.h"
#include "tools/kvrdiag/scan_words.h"
#include "tools/kvrdiag/texts.h"
#include "tools/kvrdiag/twain_words.h"
#include "twain/twain_protocol.h"

namespace kavrel::diag {
namespace {

// A line the section must hold, by level and by a piece of its fact and of its action.
struct Expected {
    Level level;
    std::wstring fact;
    std::wstring action;
};

struct Row {
    const char* what;
    std::function<void(ReportSection&)> say;
    std::vector<Expected> lines;
    Language language = Language::English;
};

void ExpectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        ReportSection section(row.language, L"test");
        row.say(section);
        ASSERT_EQ(section.Lines().size(), row.lines.size()) << row.what;
        for (std::size_t i = 0; i < row.lines.size(); ++i) {
            const ReportLine& line = section.Lines()[i];
            EXPECT_EQ(line.level, row.lines[i].level) << row.what << ", line " << i;
            EXPECT_NE(line.fact.find(row.lines[i].fact), std::wstring::npos) << row.what << ", line " << i;
            EXPECT_NE(line.action.find(row.lines[i].action), std::wstring::npos) << row.what << ", line " << i;
        }
    }
}

const std::wstring kNoDirectory = Quoted(kNoScanDirectoryMessage.wide);

TEST(KvrdiagWords, TheDirectorysFindings) {
    using Kind = DirectoryPresence::Kind;
    const auto presence = [](Kind kind, bool goesOn) {
        return [kind, goesOn](ReportSection& s) {
            EXPECT_EQ(ReportPresence(L"Z:\\SIG", L"Z:", {kind, L"error 3"}, s), goesOn);
        };
    };
    const auto trial = [](WriteTrial t) { return [t](ReportSection& s) { ReportWriteTrial(t, s); }; };
    const auto space = [](unsigned long long freeBytes) {
        return [freeBytes](ReportSection& s) { ReportSpace({true, L"", freeBytes, 1ull << 34}, s); };
    };
    ExpectRows({
        {"a directory", presence(Kind::Directory, true), {{Level::Ok, L"Z:\\SIG is a directory", L""}}},
        {"a file", presence(Kind::File, false), {{Level::Fail, L"is a file, not a directory: kvrprov answers 2, kvrscan 3 " + kNoDirectory, L"not a file in it"}}},
        {"a file, in Russian", presence(Kind::File, false),
         {{Level::Fail, L"Z:\\SIG: это файл, а не папка: kvrprov вернёт 2, kvrscan 3 " + kNoDirectory, L"а не файл из неё"}}, Language::Russian},
        {"its drive missing", presence(Kind::DriveMissing, false),
         {{Level::Fail, L"drive Z: of Z:\\SIG does not exist: kvrprov answers 2, kvrshow shows nothing, kvrscan answers 3 " + kNoDirectory,
           L"connect the network drive Z: for this user"}}},
        {"missing", presence(Kind::Missing, false), {{Level::Fail, L"does not exist (error 3)", L"create the directory"}}},
        // The script passes a path: that is what IT corrects, not "the directory".
        {"its drive missing, in Russian", presence(Kind::DriveMissing, false),
         {{Level::Fail, L"диска Z: из пути Z:\\SIG нет", L"подключите сетевой диск Z: для этого пользователя или исправьте путь к папке, который передаёт скрипт"}},
         Language::Russian},
        {"missing, in Russian", presence(Kind::Missing, false),
         {{Level::Fail, L"Z:\\SIG не существует (error 3)", L"создайте папку или исправьте путь к ней, который передаёт скрипт"}}, Language::Russian},
        {"too long to look at", presence(Kind::PathTooLong, false), {{Level::Fail, L"cannot be examined: error 3", L"within 259 characters"}}},
        {"not to be looked at", presence(Kind::Inaccessible, false), {{Level::Fail, L"cannot be examined: error 3", L"give the operators' accounts"}}},
        {"an account's path longer than Windows takes", trial({260, false, true, L"", true, L"", L""}),
         {{Level::Fail, L"a path of more than 259 characters", L"within 231 characters"}}},
        {"an account's name refused as too long", trial({250, true, false, L"error 206", false, L"", L""}),
         {{Level::Fail, L"a path of 250 characters", L"within 231 characters"}}},
        {"not to be written", trial({100, false, false, L"error 5", false, L"", L""}),
         {{Level::Fail, L"cannot be created (error 5): kvrscan answers 1 " + Quoted(kNotConnectedMessage.wide), L"give the operators' accounts"}}},
        {"written, not deleted", trial({100, false, true, L"", false, L"error 5", L"Z:\\SIG\\~kvr.tmp"}),
         {{Level::Warn, L"not deleted (error 5): Z:\\SIG\\~kvr.tmp", L"delete that file by hand"}}},
        {"written and deleted", trial({259, false, true, L"", true, L"", L""}), {{Level::Ok, L"it can be written", L""}}},
        {"little room", space(kLowSpaceBytes - 1), {{Level::Warn, L"9 MB free of 16384 MB", L"free space on the drive"}}},
        {"room enough", space(kLowSpaceBytes), {{Level::Ok, L"10 MB free of 16384 MB", L""}}},
        {"little room, in Russian", space(kLowSpaceBytes - 1),
         {{Level::Warn, L"свободно 9 МБ из 16384 МБ: ещё несколько", L"освободите место на диске"}}, Language::Russian},
        {"the room not known", [](ReportSection& s) { ReportSpace({false, L"error 21", 0, 0}, s); },
         {{Level::Warn, L"not known: error 21", L"room for new scans"}}},
    });
}

TEST(KvrdiagWords, TheClientsFiles) {
    const auto prov = [](KvrprovAnswer answer, bool found) {
        return [answer, found](ReportSection& s) { EXPECT_EQ(ReportKvrprov(L"4070", answer, s), found); };
    };
    const auto viewer = [](std::vector<ViewerFile> files, bool provFound) {
        return [files, provFound](ReportSection& s) { ReportViewerListing(L"4070", {true, files}, provFound, s); };
    };
    std::vector<ViewerFile> many(kFilesNamed + 1, ViewerFile{L"4070.jpg", 2048, L"", 20});
    ExpectRows({
        {"signatures on file", prov({0, {}, {}}, true), {{Level::Ok, L"kvrprov answers 0 for client \"4070\"", L""}}},
        {"none on file", prov({1, {}, {}}, false), {{Level::Warn, L"no signature file (4070*.jpg or 4070*.bmp)", L"scan the client's"}}},
        {"the directory not listed", prov({2, {}, {}}, false), {{Level::Fail, L"kvrprov answers 2", L"give the operators'"}}},
        {"no answer, a message and a fault", prov({std::nullopt, {L"Ошибка"}, {L"argument 0 read twice"}}, false),
         {{Level::Warn, L"kvrprov sent the message \"Ошибка\"", L"report it"},
          {Level::Fail, L"broke the interpreter's rules: argument 0 read twice", L"release archive again"},
          {Level::Fail, L"kvrprov wrote no answer", L"release archive again"}}},
        {"not asked", [](ReportSection& s) { ReportKvrprovNotAsked(L"4070", s); }, {{Level::Fail, L"the module did not load", L"see section 1"}}},
        {"the viewer finds none, kvrprov did", viewer({}, true), {{Level::Warn, L"compares the key's letter case exactly", L"rename the files"}}},
        {"neither finds any", viewer({}, false), {}},
        {"the viewer cannot list", [](ReportSection& s) { ReportViewerListing(L"4070", {false, {}}, false, s); },
         {{Level::Fail, L"cannot list the directory", L"give the operators'"}}},
        {"files past its path's length or unreadable",
         viewer({{L"4070.jpg", 2048, L"", 259}, {L"4070_1.jpg", 0, L"", 260}, {L"4070_2.bmp", 0, L"error 5", 30}}, true),
         {{Level::Ok, L"shows 3 file(s) of client \"4070\"", L""},
          {Level::Ok, L"  1. 4070.jpg, 2 048 bytes", L""},
          {Level::Fail, L"  2. 4070_1.jpg: its full path is more than 259 characters", L"within 231 characters"},
          {Level::Fail, L"  3. 4070_2.bmp: it cannot be read (error 5)", L"give the operators'"}}},
    });
    ReportSection section(Language::English, L"more than named");
    ReportViewerListing(L"4070", {true, many}, true, section);
    ASSERT_EQ(section.Lines().size(), kFilesNamed + 1);
    EXPECT_NE(section.Lines()[0].fact.find(L"more than 20 file(s)"), std::wstring::npos);
}

StepAnswer Answer(int returned, std::optional<int> rc = std::nullopt, int state = 3) {
    return {returned, rc, std::nullopt, state, 0.25};
}

TEST(KvrdiagWords, TheTwainManagersFindings) {
    ExpectRows({
        {"no manager file", [](ReportSection& s) { EXPECT_FALSE(ReportAvailable({L"C:\\windows\\TWAIN_32.DLL", false, 0, L"none"}, Answer(0), s)); },
         {{Level::Fail, L"no TWAIN manager: C:\\windows\\TWAIN_32.DLL does not exist; kvrscan answers 4 " + Quoted(kNoTwainDeviceMessage.wide), L"(32-bit)"}}},
        {"a manager that does not load", [](ReportSection& s) { EXPECT_FALSE(ReportAvailable({L"C:\\windows\\TWAIN_32.DLL", true, 1234, L"1.0"}, Answer(0), s)); },
         {{Level::Fail, L"is there (1 234 bytes, version 1.0) but does not load", L"TWAIN_32.DLL into the Windows folder"}}},
        {"a manager", [](ReportSection& s) { EXPECT_TRUE(ReportAvailable({L"C:\\windows\\TWAIN_32.DLL", true, 1234, L"1.0"}, Answer(1), s)); },
         {{Level::Ok, L"manager C:\\windows\\TWAIN_32.DLL: version 1.0, 1 234 bytes; TWAIN_IsAvailable = 1", L""}}},
        {"a manager, in Russian", [](ReportSection& s) { EXPECT_TRUE(ReportAvailable({L"C:\\windows\\TWAIN_32.DLL", true, 1234, L"1.0"}, Answer(1), s)); },
         {{Level::Ok, L"диспетчер C:\\windows\\TWAIN_32.DLL: версия 1.0, 1 234 байт; TWAIN_IsAvailable = 1", L""}}, Language::Russian},
        {"it does not open", [](ReportSection& s) { EXPECT_FALSE(ReportManagerOpened(Answer(0, twain::TWRC_FAILURE, 2), s)); },
         {{Level::Fail, L"TWAIN_OpenSourceManager = 0: TWRC_FAILURE, state 2, 0.25 s: the manager does not open; kvrscan shows \"Unable to open Source Manager\" and answers 2 " + Quoted(kNoSourceChosenMessage.wide), L"reinstall"}}},
        {"it does not open, in Russian", [](ReportSection& s) { EXPECT_FALSE(ReportManagerOpened(Answer(0, twain::TWRC_FAILURE, 2), s)); },
         {{Level::Fail, L"TWAIN_OpenSourceManager = 0: TWRC_FAILURE, состояние 2, 0,25 с: диспетчер не открывается; kvrscan покажет \"Unable to open Source Manager\" и вернёт 2 " + Quoted(kNoSourceChosenMessage.wide), L"переустановите TWAIN-драйвер"}},
         Language::Russian},
        {"the end of the list", [](ReportSection& s) { ReportListingEnd(1, Answer(0, twain::TWRC_ENDOFLIST), s); }, {}},
        {"a listing that fails", [](ReportSection& s) { ReportListingEnd(0, Answer(0, twain::TWRC_FAILURE), s); },
         {{Level::Warn, L"TWAIN_Mgr DAT_IDENTITY / MSG_GETFIRST = 0: TWRC_FAILURE; the listing stops here", L"sources that follow"}}},
        {"no source", [](ReportSection& s) { ReportNoSource(s); }, {{Level::Fail, L"lists no source", L"32-bit"}}},
        {"no default source", [](ReportSection& s) { ReportDefaultSource(Answer(0, twain::TWRC_FAILURE), L"", s); },
         {{Level::Warn, L"names no default source (TWRC_FAILURE)", L"choose the scanner once"}}},
        {"back to state 1", [](ReportSection& s) { ReportManagerClosed(Answer(1, twain::TWRC_SUCCESS, 2), Answer(1, std::nullopt, 1), s); },
         {{Level::Ok, L"TWAIN_CloseSourceManager = 1: TWRC_SUCCESS, state 2, 0.25 s; TWAIN_UnloadSourceManager = 1: no triplet, state 1", L""}}},
        {"stuck above state 1", [](ReportSection& s) { ReportManagerClosed(Answer(0, twain::TWRC_FAILURE), Answer(0, std::nullopt, 2), s); },
         {{Level::Warn, L"did not get back to state 1", L"restart the interpreter"}}},
    });
}

TEST(KvrdiagWords, OneScansFindings) {
    const auto kvrscan = [](KvrscanFacts facts, AfterKvrscan next) {
        return [facts, next](ReportSection& s) {
            EXPECT_EQ(ReportKvrscan(facts, L"T:\\scan.jpg", std::chrono::seconds(120), s), next);
        };
    };
    const std::wstring noManager = Quoted(kNoTwainDeviceMessage.wide);
    ExpectRows({
        {"saved", kvrscan({0, {}, {}, 3.5, 1, false}, AfterKvrscan::ReadBack),
         {{Level::Ok, L"kvrscan = 0 after 3.50 s: the scanner chosen in the selection dialog, the page scanned in its window, saved as T:\\scan.jpg", L""}}},
        {"told to quit, in Russian", kvrscan({1, {}, {}, 120, 0, true}, AfterKvrscan::TakeSteps),
         {{Level::Fail, L"kvrscan = 1 через 120,00 с: не завершилась за 120 с и получила команду выхода (WM_QUIT)", L"--timeout"}},
         Language::Russian},
        {"no manager", kvrscan({4, {kNoTwainDeviceMessage.wide}, {}, 0.1, 0, false}, AfterKvrscan::Nothing),
         {{Level::Fail, L"kvrscan = 4 after 0.10 s, " + noManager, L"see section 3"}}},
        {"told to quit without a manager", kvrscan({4, {}, {}, 120, 0, true}, AfterKvrscan::Nothing),
         {{Level::Fail, L"it had not ended in 120 s and was told to quit", L"--timeout"}}},
        {"told to quit", kvrscan({1, {}, {}, 120, 0, true}, AfterKvrscan::TakeSteps), {{Level::Fail, L"was told to quit", L"--timeout"}}},
        {"the page came, the saving failed", kvrscan({1, {}, {}, 2, 1, false}, AfterKvrscan::Nothing),
         {{Level::Fail, L"the source delivered 1 image(s), and saving the page as a JPEG failed", L"TEMP drive"}}},
        {"saved, but a fault", kvrscan({0, {}, {L"argument 2 set twice"}, 2, 1, false}, AfterKvrscan::TakeSteps),
         {{Level::Fail, L"kvrscan = 0 after 2.00 s; argument 2 set twice: not the one answer", L"release archive again"}}},
        {"no answer", kvrscan({std::nullopt, {}, {}, 2, 0, false}, AfterKvrscan::TakeSteps), {{Level::Fail, L"kvrscan = nothing", L"release archive"}}},
        {"none chosen", kvrscan({2, {}, {}, 2, 0, false}, AfterKvrscan::TakeSteps), {{Level::Fail, L"kvrscan = 2", L"choose the scanner in the selection dialog"}}},
        {"a count refused, passed over", [](ReportSection& s) { EXPECT_TRUE(ReportChainStep(kScanChain[3], Answer(0, twain::TWRC_FAILURE, 4), s)); },
         {{Level::Ok, L"TWAIN_NegotiateXferCount(1) = 0: TWRC_FAILURE, state 4, 0.25 s: refused; kvrscan goes on", L""}}},
        {"a source that does not open", [](ReportSection& s) { EXPECT_FALSE(ReportChainStep(kScanChain[2], Answer(0, twain::TWRC_FAILURE), s)); },
         {{Level::Fail, L"the default source does not open; kvrscan answers 1 " + Quoted(kNotConnectedMessage.wide), L"switch the scanner on"}}},
        {"no image although enabled", [](ReportSection& s) { ReportImages({}, true, s); }, {{Level::Fail, L"TWAIN_GetNumDibs = 0", L"own program"}}},
        {"no image after a chain that stopped", [](ReportSection& s) { ReportImages({}, false, s); }, {}},
        {"an image with the window hidden", [](ReportSection& s) { ReportImages({1, 850, 1100, 24}, true, s); },
         {{Level::Ok, L"TWAIN_GetNumDibs = 1; TWAIN_GetDib(0): 850 x 1100 pixels, 24 bits a pixel", L""},
          {Level::Warn, L"with its window hidden the source scans", L"with its window shown"}}},
        {"a saved file cut short", [](ReportSection& s) { EXPECT_FALSE(ReportReadBack({false, 100, 0, 0, L"cut short"}, L"T:\\scan.jpg", s)); },
         {{Level::Fail, L"the saved file T:\\scan.jpg is no readable JPEG: cut short", L"release archive"}}},
        {"its folder left behind", [](ReportSection& s) { ReportScanCleanup(ScanCleanup::Left, L"T:\\scan.jpg", L"error 32", s); },
         {{Level::Warn, L"could not be deleted: error 32", L"delete T:\\scan.jpg and its folder by hand"}}},
    });
}

// Whether a character is one code page 866 has for the report's texts: ASCII and Russian letters
// (a dash or a guillemet would reach a redirected report as "?").
bool InCodePage866(wchar_t c) { return (c >= 0x20 && c < 0x7F) || c == L'\r' || c == L'\n' || (c >= 0x410 && c <= 0x44F) || c == 0x401 || c == 0x451; }

// The numbers of the placeholders in `text`; a "%" that begins none ("%x", "%0", a lone "%" at the
// end) counts as placeholder 0, which no text may have.
std::set<int> Placeholders(const std::wstring& text) {
    std::set<int> numbers;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') continue;
        if (i + 1 < text.size() && text[i + 1] == L'%') {
            ++i;
        } else {
            numbers.insert(i + 1 < text.size() && text[i + 1] >= L'1' && text[i + 1] <= L'9' ? text[i + 1] - L'0' : 0);
        }
    }
    return numbers;
}

// Every text of the table in both languages, with the same placeholders, numbered from 1 without
// a gap, in characters a redirected report can hold; the table in TextId's order, so that a text
// is found by its id.
TEST(KvrdiagTexts, EveryTextHasBothLanguagesAndTheSamePlaceholders) {
    ASSERT_GT(kTextCount, 100u);
    for (std::size_t i = 0; i < kTextCount; ++i) {
        const TextRow& row = kTexts[i];
        EXPECT_EQ(static_cast<std::size_t>(row.id), i);
        const std::wstring english = row.english, russian = row.russian;
        EXPECT_FALSE(english.empty()) << "text " << i;
        EXPECT_FALSE(russian.empty()) << "text " << i;
        const auto placeholders = Placeholders(english);
        EXPECT_EQ(placeholders, Placeholders(russian)) << "text " << i;
        int expected = 1;
        for (const int number : placeholders) EXPECT_EQ(number, expected++) << "text " << i;
        for (const std::wstring& text : {english, russian}) {
            for (const wchar_t c : text) EXPECT_TRUE(InCodePage866(c)) << "text " << i << ": U+" << std::hex << int(c);
        }
        // Russian is not English with the same words: only texts that are names and numbers may read alike.
        if (english.find_first_of(L"aeiou") != std::wstring::npos && english.find(L"TWAIN") == std::wstring::npos) {
            EXPECT_NE(english, russian) << "text " << i;
        }
    }
}

TEST(KvrdiagTexts, ValuesFillTheirPlaceholdersAndTheReportKeepsItsTags) {
    EXPECT_EQ(Fill(L"%2 and %1, %1 again: 100%%", {L"one", L"two"}), L"two and one, one again: 100%");
    EXPECT_EQ(Fill(L"%1 of %3", {L"one"}), L"one of %3");  // a placeholder without a value stays
    EXPECT_EQ(Fill(L"ends in %", {}), L"ends in %");
    EXPECT_EQ(Say(Language::Russian, TextId::NeedsValue, {L"--out"}), L"для --out нужно значение");
    EXPECT_EQ(Seconds(Language::Russian, 0.425), L"0,42 с");
    EXPECT_EQ(Bytes(Language::Russian, 1234567), L"1 234 567 байт");
    // Texts that are put together read as one Russian sentence: a refusal after "подписан: ..." names
    // what is refused (no pronoun without a noun to stand for), and a driver ends a process with a code.
    EXPECT_EQ(Say(Language::Russian, TextId::SignatureRefused,
                  {Say(Language::Russian, TextId::SignedBy, {L"CN=Bank"}),
                   Say(Language::Russian, TextId::TrustRefused, {L"0x800B0109"})}),
              L"подписан: CN=Bank, но Windows отвергает подпись (0x800B0109)");
    EXPECT_EQ(Say(Language::Russian, TextId::DriverEndedAtExit, {Say(Language::Russian, TextId::APrinterDriver), L"3"}),
              L"драйвер одного из принтеров при закрытии аварийно завершил загрузивший его процесс с кодом выхода 3: "
              L"интерпретатор при закрытии так же завершится сбоем");
    EXPECT_EQ(LanguageNamed("ru"), Language::Russian);
    EXPECT_EQ(LanguageNamed("en"), Language::English);
    EXPECT_EQ(LanguageNamed("RU"), std::nullopt);
    // The tags, the arrow and the counts' words stay as scripts grep them; the rest is Russian.
    ReportSection section(Language::Russian, L"1. Модуль");
    section.Warn(L"факт", L"что сделать");
    section.Fail(L"другой факт", L"ещё действие");
    const std::wstring report = RenderReport(Language::Russian, {L"kvrdiag"}, {section});
    EXPECT_NE(report.find(L"\r\nWARN  факт\r\n      -> что сделать\r\nFAIL  другой факт\r\n"), std::wstring::npos);
    EXPECT_NE(report.find(L"Итог: 0 OK, 1 WARN, 1 FAIL (код выхода 2)\r\n"), std::wstring::npos) << report.size();
}

// Every message the module reports and kvrdiag quotes is one text in both forms: its
// Windows-1251 bytes are the wide characters' (Cyrillic А..я at 0xC0..0xFF, ASCII as it is).
TEST(KvrdiagWords, TheOperatorsMessagesAreOneTextInBothForms) {
    for (const OperatorMessage* message : kOperatorMessages) {
        std::wstring decoded;
        for (const char* c = message->text; *c; ++c) {
            const auto byte = static_cast<unsigned char>(*c);
            decoded += byte < 0x80 ? static_cast<wchar_t>(byte) : byte >= 0xC0 ? static_cast<wchar_t>(0x410 + byte - 0xC0) : L'?';
        }
        EXPECT_EQ(decoded, message->wide);
        EXPECT_GT(decoded.size(), 20u);
    }
}

}  // namespace
}  // namespace kavrel::diag
