#include "serial/transfer_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <string>

#include "platform/text_codec.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using Log = TransferLog;

std::time_t At(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

TEST(TransferLogTest, EntriesFollowTheHeaderOfANewLogInCp932WithCrLf) {
    test::TempDir dir;
    const Log log(dir / "Wexal.log");
    const std::time_t when = At(2005, 11, 6, 1, 41, 48);
    const std::string entry = Log::Entry(Log::Direction::Send, Log::Outcome::Completed, when,
                                         "/nc/O1234.NC");
    EXPECT_EQ(entry, "送信\u3000\u3000完了\u3000" "2005/11/06 01:41:48\u3000/nc/O1234.NC\n");
    ASSERT_TRUE(log.Append(entry));
    ASSERT_TRUE(log.Append(Log::Entry(Log::Direction::Receive, Log::Outcome::Aborted, when,
                                      "/nc/O1.NC")));

    const std::string bytes = test::ReadFileBytes(log.file());
    const std::string text = *Cp932ToUtf8(bytes);
    std::string rule;
    for (int i = 0; i < 37; ++i) rule += "\u2500";
    EXPECT_EQ(text,
              "<<<<<\u3000\u3000\u3000通信ログ\u3000\u3000\u3000>>>>>\r\n"
              "送受信\u3000状態\u3000日時\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000\u3000"
              "送受信ファイル名\r\n" +
                  rule + "\r\n" + "送信\u3000\u3000完了\u3000" "2005/11/06 01:41:48\u3000/nc/O1234.NC\r\n" +
                  "受信\u3000\u3000中止\u3000" "2005/11/06 01:41:48\u3000/nc/O1.NC\r\n");

    // Deleted by the operator: the next entry starts a new log with its header.
    std::filesystem::remove(log.file());
    ASSERT_TRUE(log.Append(entry));
    EXPECT_EQ(*Cp932ToUtf8(test::ReadFileBytes(log.file())),
              text.substr(0, text.find("送信\u3000\u3000完了")) +
                  "送信\u3000\u3000完了\u3000" "2005/11/06 01:41:48\u3000/nc/O1234.NC\r\n");
}

TEST(TransferLogTest, ViewOfAMissingLogCreatesTheHeaderAndPathsKeepTheirBytes) {
    test::TempDir dir;
    const Log log(dir / "Wexal.log");
    const std::string view = log.ReadForView();
    EXPECT_EQ(std::count(view.begin(), view.end(), '\n'), 3);
    EXPECT_EQ(view.find('\r'), std::string::npos);

    // A file name that cp932 cannot hold is still logged, as its bytes.
    ASSERT_TRUE(log.Append("送信\u3000\u3000完了\u3000x\u3000/nc/M\xC3\xBCller.NC\n"));
    EXPECT_NE(test::ReadFileBytes(log.file()).find("/nc/M\xC3\xBCller.NC\r\n"), std::string::npos);
}

TEST(TransferLogTest, ALogThatCannotBeWrittenSaysWhereAndWhy) {
    test::TempDir dir;
    // A folder where the log should be fails for root as well.
    std::filesystem::create_directory(dir / "Wexal.log");
    const Status status = Log(dir / "Wexal.log").Append("送信\n");
    ASSERT_FALSE(status);
    EXPECT_NE(status.message.find("通信ログに書き込めません。"), std::string::npos);
    EXPECT_NE(status.message.find((dir / "Wexal.log").string()), std::string::npos);
    EXPECT_NE(status.message.find("フォルダーです。"), std::string::npos);

    const Status missingFolder = Log(dir / "gone" / "Wexal.log").Append("送信\n");
    EXPECT_FALSE(missingFolder);
}

}  // namespace
}  // namespace wexal
