// The host operations themselves, linked in: argument texts, integers and OEM messages.
#include <gtest/gtest.h>

#include "host/host_interface.h"
#include "support/test_support.h"
#include "tools/kvrhost/script_host.h"

namespace kavrel::test {
namespace {

class HostOperations : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::RslSetCallBacks(static_cast<host::HostCallbackTable*>(standIn.Table())), 304); }
    void TearDown() override {
        ::RslSetCallBacks(nullptr);
        EXPECT_TRUE(standIn.faults.empty()) << standIn.faults.front();
    }
    hoststandin::ScriptHost standIn;
};

TEST_F(HostOperations, CyrillicMessagesArriveInTheOemCodePage) {
    host::ReportMessage(Ansi(L"Иванов"));
    ASSERT_EQ(standIn.messages.size(), 1u);
    EXPECT_EQ(Hex(standIn.messages[0]), "88 A2 A0 AD AE A2");

    host::ReportMessage(Ansi(L"Отсутствует файл с подписью клиента"));
    ASSERT_EQ(standIn.messages.size(), 2u);
    EXPECT_EQ(FromOem(standIn.messages[1]), L"Отсутствует файл с подписью клиента");
    EXPECT_EQ(standIn.messages[1].size(), Ansi(L"Отсутствует файл с подписью клиента").size());
}

TEST_F(HostOperations, LongAndEmptyMessagesAreHandedOverWhole) {
    const std::string longText(5000, '\xC0');  // "А" in 1251
    host::ReportMessage(longText);
    host::ReportMessage("");
    ASSERT_EQ(standIn.messages.size(), 2u);
    EXPECT_EQ(standIn.messages[0], std::string(5000, '\x80'));  // "А" in 866
    EXPECT_EQ(standIn.messages[1], "");
}

TEST_F(HostOperations, RawMessagesAreNotConverted) {
    host::ReportRawMessage("123");
    host::ReportRawMessage("\xC0");
    ASSERT_EQ(standIn.messages.size(), 2u);
    EXPECT_EQ(standIn.messages[0], "123");
    EXPECT_EQ(standIn.messages[1], "\xC0");
}

TEST_F(HostOperations, IntegersGoWithTypeCodeOne) {
    host::SetParamInt(2, -7);
    host::SetParamInt(0, 2147483647);
    ASSERT_EQ(standIn.integers.size(), 2u);
    EXPECT_EQ(standIn.integers[0].index, 2);
    EXPECT_EQ(standIn.integers[0].typeCode, 1);
    EXPECT_EQ(standIn.integers[0].value, -7);
    EXPECT_EQ(standIn.integers[1].value, 2147483647);
}

TEST_F(HostOperations, NoTableMeansNothingIsCalled) {
    ::RslSetCallBacks(nullptr);
    host::ReportMessage("x");
    host::SetParamInt(0, 1);
    EXPECT_EQ(host::GetParamText(0), "");
    EXPECT_TRUE(standIn.messages.empty());
    EXPECT_TRUE(standIn.integers.empty());
}

}  // namespace
}  // namespace kavrel::test
