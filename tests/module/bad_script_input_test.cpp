// Scripts get their arguments wrong: none at all, null records and text pointers, texts of 10,000
// characters, characters Windows forbids in names, drives that do not exist, UNC-looking paths,
// Cyrillic everywhere. kvrprov and kvrshow answer each with their code or message -- never a
// crash, never a fault at the host boundary, never a file written. (kvrscan's share is in
// kvrscan_test.cpp, where the scanner is.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "support/hosted_module_test.h"
#include "tools/kvrhost/script_host.h"
#include "viewer/viewer_driver.h"

namespace kavrel::test {
namespace {

using hoststandin::MissingArgument;

const std::string kLong(10000, 'a');

class BadScriptInput : public HostedModuleTest {
protected:
    void SetUp() override {
        HostedModuleTest::SetUp();
        WriteBytes(dir / "k_1.jpg", "not looked at");
    }

    // kvrprov's one answer.
    int Prov(const std::vector<std::string>& arguments) {
        host.ClearRecords();
        EXPECT_TRUE(host.Call("kvrprov", arguments));
        EXPECT_EQ(host.integers.size(), 1u);
        return host.integers.size() == 1 ? host.integers[0].value : -1;
    }
    // kvrshow's messages, when it shows no viewer.
    std::vector<std::wstring> Show(const std::vector<std::string>& arguments) {
        host.ClearRecords();
        EXPECT_TRUE(host.Call("kvrshow", arguments));
        EXPECT_TRUE(host.integers.empty());
        std::vector<std::wstring> messages;
        for (const auto& m : host.messages) messages.push_back(FromOem(m));
        return messages;
    }

    ScratchDir dir;
};

TEST_F(BadScriptInput, KvrprovAnswersACodeForEveryArgument) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        int code;
    };
    const std::string cyrillicDir = dir.Subdir(Ansi(L"Подписи клиентов"));
    WriteBytes(cyrillicDir + "\\" + Ansi(L"Иванов_1.jpg"), "x");
    // Names from another system whose characters code page 1251 lacks: their best likeness in it
    // is another client's name, "123.jpg", or a path out of the directory, "123\..\456.bmp".
    const std::string likenesses = dir.Subdir("likenesses");
    WriteBytes(likenesses + "\\456.bmp", "x");
    // 1, a full-width 2, 3; and 123, a full-width backslash, .., another, 456 (in UTF-8).
    ASSERT_EQ(RunUnix("cd '" + UnixPathOf(likenesses) +
                      "' && touch \"$(printf '1\\357\\274\\2223.jpg')\" \"$(printf '123\\357\\274\\274..\\357\\274\\274456.bmp')\""),
              0);
    // Names from another system that are Windows device names with an extension: the file calls
    // given "nul.bmp" reach the NUL device, not that file.
    const std::string devices = dir.Subdir("devices");
    ASSERT_EQ(RunUnix("cd '" + UnixPathOf(devices) + "' && touch nul.bmp 'NUL .jpg'"), 0);
    const Case cases[] = {
        {"10,000 characters of directory", {"", kLong, "k"}, 2},
        {"10,000 characters of key", {"", dir.Path(), kLong}, 1},
        {"a key of characters names cannot have", {"", dir.Path(), "k<>|\"*?"}, 1},
        {"a key with a path in it", {"", dir.Path(), "..\\..\\k"}, 1},
        {"a directory with characters names cannot have", {"", dir.Path() + "\\a<b>|c", "k"}, 2},
        {"a drive that does not exist", {"", "Q:\\signatures", "k"}, 2},
        {"a UNC path to no server", {"", "\\\\nosuchserver\\share\\signatures", "k"}, 2},
        {"a device name", {"", "NUL", "k"}, 2},
        {"Cyrillic directory and key", {"", cyrillicDir, Ansi(L"иванов")}, 0},
        {"control characters", {"", dir.Path() + "\x01\x02", "\x07"}, 2},
        {"only names that the code page holds by likeness", {"", likenesses, "123"}, 1},
        {"only device names", {"", devices, "nul"}, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Prov(c.arguments), c.code) << c.what;
    EXPECT_TRUE(host.messages.empty()) << "kvrprov sends no message";
}

TEST_F(BadScriptInput, KvrshowReportsEveryUnusableArgument) {
    const std::wstring noDirectory = L"Отсутствует директория с подписью клиента";
    const std::wstring noFile = L"Отсутствует файл с подписью клиента";
    const std::string empty = dir.Subdir("empty");
    for (MissingArgument missing : {MissingArgument::LeaveVariable, MissingArgument::NullRecord, MissingArgument::NullText}) {
        host.SetMissingArgument(missing);
        EXPECT_EQ(Show({}), std::vector<std::wstring>{noDirectory}) << "no arguments at all";
        // No key matches every signature file; the directory has none.
        EXPECT_EQ(Show({empty}), std::vector<std::wstring>{noFile});
    }
    host.SetMissingArgument(MissingArgument::LeaveVariable);
    EXPECT_EQ(Show({kLong, "k"}), std::vector<std::wstring>{noDirectory});
    EXPECT_EQ(Show({"Q:\\signatures", "k"}), std::vector<std::wstring>{noDirectory});
    EXPECT_EQ(Show({"\\\\nosuchserver\\share", "k"}), std::vector<std::wstring>{noDirectory});
    EXPECT_EQ(Show({dir.Path(), kLong}), std::vector<std::wstring>{noFile});
    EXPECT_EQ(Show({dir.Path(), "k<>|*?"}), std::vector<std::wstring>{noFile});
}

TEST_F(BadScriptInput, KvrshowShowsLongAndCyrillicTitles) {
    // The viewer opens whatever the title, and closes; its caption carries the title.
    const std::string cyrillicDir = dir.Subdir(Ansi(L"Иванов"));
    WriteBmpImage(cyrillicDir + "\\" + Ansi(L"Иванов_1.bmp"), 30, 20, RGB(1, 2, 3));
    for (const std::string& title : {kLong, Ansi(L"Иванов Иван Иванович, счёт №1"), std::string("\x01\t\r\n")}) {
        std::string caption;
        {
            ViewerDriver driver([&](ViewerSession& v) {
                if (!v.WaitForViewer()) return;
                caption = v.Layout().caption;
                v.Key(VK_ESCAPE);
                v.WaitUntilClosed();
            });
            host.ClearRecords();
            EXPECT_TRUE(host.Call("kvrshow", {cyrillicDir, Ansi(L"Иванов"), title, "1", "1"}));
        }
        EXPECT_TRUE(host.messages.empty()) << (host.messages.empty() ? std::string() : Ansi(FromOem(host.messages[0])));
        EXPECT_EQ(caption.rfind(Ansi(L"клиент - "), 0), 0u) << caption.substr(0, 40);
        EXPECT_NE(caption.find(title.substr(0, 8)), std::string::npos) << caption.substr(0, 40);
    }
}

}  // namespace
}  // namespace kavrel::test
