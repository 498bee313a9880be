// Tests of the framework log: line format, whole lines under concurrent
// appends from two processes, and folders that cannot be written.
#include "framework/base/log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "framework/base/application.h"
#include "tests/support/test_support.h"

namespace {

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = TSGetApp()->CompanyFolder(); }
  void TearDown() override { TSGetApp()->SetCompanyFolder(saved_); }

  std::string saved_;
};

TEST_F(LogTest, TwoProcessesAppendWholeLines) {
  bktest::TempDir dir;
  TSGetApp()->SetCompanyFolder(dir.path());
  constexpr int kLines = 2000;
  const std::string payload(600, 'x');
  auto writer = [&](char who) {
    return [&, who] {
      bktest::ChildProcess::ReadLine();  // start together
      for (int i = 0; i < kLines; ++i) x_log(1, std::string(1, who) + " " + std::to_string(i) + " " + payload);
    };
  };
  EXPECT_EQ(x_log_path(), dir.path() + "/bkreg.log");
  bktest::ChildProcess a = bktest::ChildProcess::Start(writer('A'));
  bktest::ChildProcess b = bktest::ChildProcess::Start(writer('B'));
  a.Send("go");
  b.Send("go");
  ASSERT_EQ(a.Wait(), 0);
  ASSERT_EQ(b.Wait(), 0);

  const std::regex line_re(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d pid=\d+ level=1 ([AB]) (\d+) (x+))");
  std::map<char, int> next{{'A', 0}, {'B', 0}};
  std::ifstream in(x_log_path());
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, line_re)) << line.substr(0, 80);
    EXPECT_EQ(m[3].length(), static_cast<long>(payload.size()));
    // Each process's lines appear whole and in its own order.
    EXPECT_EQ(std::stoi(m[2]), next[m[1].str()[0]]++);
  }
  EXPECT_EQ(next, (std::map<char, int>{{'A', kLines}, {'B', kLines}})) << "every line of both";
}

TEST_F(LogTest, UnwritableOrMissingFolderDoesNotFail) {
  bktest::TempDir dir;
  const std::string read_only = dir.Sub("ro");
  ASSERT_EQ(mkdir(read_only.c_str(), 0555), 0);
  const std::string not_a_folder = dir.Sub("file");  // unwritable even for root
  std::ofstream(not_a_folder) << "x";
  for (const std::string& folder : {read_only, dir.Sub("missing/deeper"), not_a_folder}) {
    TSGetApp()->SetCompanyFolder(folder);
    testing::internal::CaptureStderr();
    x_log(3, "cannot be kept in the folder");
    const std::string err = testing::internal::GetCapturedStderr();
    if (geteuid() != 0 || folder != read_only) {
      EXPECT_FALSE(std::filesystem::exists(x_log_path()));
      EXPECT_NE(err.find("level=3 cannot be kept in the folder"), std::string::npos) << err;
    }
  }
  TSGetApp()->SetCompanyFolder("");  // no company yet: the line goes to standard error
  EXPECT_EQ(x_log_path(), "");
  testing::internal::CaptureStderr();
  x_log(2, 301, "Could not open BKM file\nsecond part");
  const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d pid=)" + std::to_string(getpid()) +
                        R"( level=2 task=301 Could not open BKM file second part\n)");
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(std::regex_match(err, line)) << err;
}

}  // namespace
