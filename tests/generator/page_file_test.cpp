// Writing a page file: whole or not at all, and every failure reported.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "file_permissions.h"
#include "html_writer.h"
#include "recording_dialogs.h"

namespace glim {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> folderNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) names.push_back(item.path().filename());
  return names;
}

class PageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "glim-page-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir_, ignored);
  }
  MessageBox expectedBox(const std::string& name) {
    return MessageBox{"Create HTML file: Couldn't create file " + name + " !", "Error",
                      MessageButtons::Ok, MessageIcon::Error};
  }

  fs::path dir_;
  testing::RecordingDialogs dialogs_;
};

TEST_F(PageFile, WritesBothKindsAndReplacesAnEarlierPageWhole) {
  const testing::ScopedUmask umask(022);
  std::vector<PictureEntry> entries(2);
  entries[0].PageName = "A.HTM";
  entries[1].PageName = "B.HTM";
  const AlbumSettings settings;
  const std::string overview = (dir_ / "index.htm").string();
  {
    std::ofstream old(overview, std::ios::binary);
    old << std::string(100000, 'x');  // longer than the new page
  }
  fs::permissions(overview, fs::perms(0664));
  ASSERT_TRUE(writeOverviewPage(overview, settings, entries, dialogs_));
  EXPECT_EQ(readAll(overview), overviewPageText(settings, entries));

  fs::create_directory(dir_ / "html");
  const std::string page = (dir_ / "html" / "B.HTM").string();
  ASSERT_TRUE(writeDetailPage(page, settings, entries, 1, "index.htm", dialogs_));
  EXPECT_EQ(readAll(page), detailPageText(settings, entries, 1, "index.htm"));
  EXPECT_TRUE(dialogs_.messages.empty());
  // No temporary file is left beside the pages.
  EXPECT_EQ(folderNames(dir_ / "html"), std::vector<std::string>{"B.HTM"});
  // A web server running as another user can read a new page; a replaced one keeps its mode.
  EXPECT_EQ(testing::modeOf(page), "0644");
  EXPECT_EQ(testing::modeOf(overview), "0664");
}

TEST_F(PageFile, MissingFolderOrAFileInPlaceOfTheFolderIsReported) {
  const std::vector<std::string> targets = {
      (dir_ / "html" / "Urlaub.HTM").string(),       // the html folder was never made
      (dir_ / "plain.txt" / "Urlaub.HTM").string(),  // a file where the folder should be
  };
  { std::ofstream(dir_ / "plain.txt") << "x"; }
  for (const std::string& target : targets) {
    EXPECT_FALSE(writeHtmlPage(target, "<HTML>\r\n", dialogs_));
    EXPECT_FALSE(fs::exists(target));
  }
  ASSERT_EQ(dialogs_.messages.size(), 2u);
  EXPECT_EQ(dialogs_.messages[0], expectedBox("Urlaub.HTM"));
  EXPECT_EQ(dialogs_.messages[1], expectedBox("Urlaub.HTM"));
  EXPECT_EQ(readAll(dir_ / "plain.txt"), "x");
}

TEST_F(PageFile, AFolderInPlaceOfThePageIsReported) {
  fs::create_directory(dir_ / "index.htm");
  EXPECT_FALSE(writeOverviewPage((dir_ / "index.htm").string(), AlbumSettings{}, {}, dialogs_));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], expectedBox("index.htm"));
  EXPECT_TRUE(fs::is_directory(dir_ / "index.htm"));
  EXPECT_EQ(folderNames(dir_), std::vector<std::string>{"index.htm"});
}

// A full disk while the lines are written: the file size limit makes write() fail part way.
TEST_F(PageFile, WriteErrorPartWayIsReportedAndLeavesThePageAsItWas) {
  const std::string target = (dir_ / "index.htm").string();
  { std::ofstream(target, std::ios::binary) << "earlier page"; }
  std::vector<PictureEntry> entries(200);
  for (auto& e : entries) e.PageName = e.MiniName = std::string(40, 'n');
  const std::string text = overviewPageText(AlbumSettings{}, entries);
  ASSERT_GT(text.size(), 20000u);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // a refused write, as on a full disk, not a signal
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    testing::RecordingDialogs dialogs;
    const bool written = writeHtmlPage(target, text, dialogs);
    const bool reported =
        dialogs.messages.size() == 1 && dialogs.messages[0] == expectedBox("index.htm");
    ::_exit(!written && reported ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was not reported";
  EXPECT_EQ(readAll(target), "earlier page");
  EXPECT_EQ(folderNames(dir_), std::vector<std::string>{"index.htm"});
}

TEST_F(PageFile, ReadOnlyFolderIsReportedAndNothingWritten) {
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(testing::asBoundUser(dir_, [&] {
    return !writeHtmlPage((dir_ / "index.htm").string(), "<HTML>\r\n", dialogs_) &&
           dialogs_.messages == std::vector{expectedBox("index.htm")};
  })) << "the failed write was not reported";
  EXPECT_TRUE(folderNames(dir_).empty());
}

TEST_F(PageFile, ReadOnlyPageIsNotReplaced) {
  const fs::path target = dir_ / "A.HTM";
  { std::ofstream(target) << "kept"; }
  fs::permissions(target, fs::perms::owner_read);
  EXPECT_TRUE(testing::asBoundUser(dir_, [&] {
    return !writeHtmlPage(target.string(), "<HTML>\r\n", dialogs_) &&
           dialogs_.messages == std::vector{expectedBox("A.HTM")};
  })) << "the refused page was not reported";
  EXPECT_EQ(readAll(target), "kept");
  EXPECT_EQ(folderNames(dir_), std::vector<std::string>{"A.HTM"});
}

}  // namespace
}  // namespace glim
