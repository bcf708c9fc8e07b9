// Saves as an ordinary user meets them: every writer the window's save
// handlers call (the image formats and the project), and make_project run as
// a separate process, onto a write-protected file, onto a writable file in a
// folder the user may not write, and onto a folder. Each save runs in a child
// that is the unprivileged user, since root passes every permission check.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/ordinary_user.h"
#include "support/savers.h"

namespace {

constexpr const char* kEarlier = "the earlier file";

constexpr const char* kDrawnText = " (random bytes were drawn)";

class SavePermissionsTest : public SaverFixture, public ::testing::WithParamInterface<Saver> {
 protected:
  void SetUp() override {
    SaverFixture::SetUp();
    // The unprivileged user must reach the folder and read the data file.
    std::filesystem::permissions(folder_, std::filesystem::perms(0755));
    std::filesystem::permissions(dataFile_, std::filesystem::perms(0644));
    std::filesystem::create_directory(jobs_);
    // The build folder may lie where that user cannot reach it (a clone in
    // root's 0700 home): the child runs a copy of the tool from this folder.
    if (SavesWithTheTool(GetParam())) {
      const std::string copy = (folder_ / "make_project").string();
      std::error_code error;
      std::filesystem::copy_file(makeProject_, copy, error);
      if (error) GTEST_SKIP() << "no copy of " << makeProject_ << " can be made: " << error.message();
      std::filesystem::permissions(copy, std::filesystem::perms(0755));
      makeProject_ = copy;
    }
    const ChildRun probe = RunAsOrdinaryUser([this] {
      if (::access(folder_.c_str(), R_OK | X_OK) != 0) return folder_.string() + " is out of reach";
      if (SavesWithTheTool(GetParam()) && ::access(makeProject_.c_str(), X_OK) != 0) return makeProject_ + " cannot be run";
      return std::string();
    });
    if (probe.status != 0 || !probe.report.empty()) GTEST_SKIP() << "as the unprivileged user: " << probe.report;
  }
  void TearDown() override {
    // A folder nobody may write could not be emptied by a test that is not root.
    std::error_code ignored;
    std::filesystem::permissions(jobs_, std::filesystem::perms(0755), ignored);
    SaverFixture::TearDown();
  }

  // What the save did as the ordinary user: "saved" or the error's text,
  // with kDrawnText when the shared generator moved.
  std::string SaveAsOrdinaryUser(const std::string& path) {
    const ChildRun run = RunAsOrdinaryUser([&] {
      const uint32_t seed = RandSeed();
      std::string outcome = "saved";
      try {
        SaveWith(GetParam(), path);
      } catch (const std::exception& e) {
        outcome = e.what();
      }
      if (RandSeed() != seed) outcome += kDrawnText;
      return outcome;
    });
    EXPECT_EQ(run.status, 0) << run.report;
    return run.report;
  }

  // The ordinary user's answer to access(path, mode) == 0: "yes" or "no".
  static std::string OrdinaryUserMay(const std::string& path, int mode) {
    return RunAsOrdinaryUser([&] { return std::string(::access(path.c_str(), mode) == 0 ? "yes" : "no"); }).report;
  }

  size_t EntriesInJobs() const {
    return static_cast<size_t>(
        std::distance(std::filesystem::directory_iterator(jobs_), std::filesystem::directory_iterator()));
  }

  static struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
  }

  std::filesystem::path jobs_ = folder_ / "jobs";
  std::string target_ = (jobs_ / "saved.file").string();
};

// A user who write-protected a golden job relies on the refusal: the rename
// a save makes needs only the folder's permission, and would have replaced
// the file with one of the saver's own.
TEST_P(SavePermissionsTest, WriteProtectedFileIsRefusedAndKeptWithItsOwner) {
  std::filesystem::permissions(jobs_, std::filesystem::perms(0777));
  WriteFile("jobs/saved.file", kEarlier);
  std::filesystem::permissions(target_, std::filesystem::perms(0444));
  if (OrdinaryUserMay(target_, W_OK) != "no") GTEST_SKIP() << "this user may write a 0444 file";
  const struct stat before = StatOf(target_);

  const std::string outcome = SaveAsOrdinaryUser(target_);
  EXPECT_NE(outcome.find(target_ + ": Permission denied"), std::string::npos) << outcome;
  EXPECT_EQ(outcome.find(kDrawnText), std::string::npos) << outcome;

  EXPECT_TRUE(ReadFile(target_) == kEarlier) << "the file was overwritten";
  const struct stat after = StatOf(target_);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_mode & 07777, 0444u);
  EXPECT_EQ(EntriesInJobs(), 1u) << "a temporary file was left";
}

// No temporary file can be made beside it, so the file is written in place,
// as saves were written before they replaced the file whole.
TEST_P(SavePermissionsTest, WritableFileInAFolderTheUserMayNotWriteIsWrittenInPlace) {
  WriteFile("jobs/saved.file", kEarlier);
  std::filesystem::permissions(target_, std::filesystem::perms(0666));
  std::filesystem::permissions(jobs_, std::filesystem::perms(0555));
  if (OrdinaryUserMay(jobs_.string(), W_OK) != "no") GTEST_SKIP() << "this user may write a 0555 folder";
  const struct stat before = StatOf(target_);

  const std::string outcome = SaveAsOrdinaryUser(target_);
  EXPECT_TRUE(outcome.starts_with("saved")) << outcome;

  // The child drew from a copy of the generator; this process draws the same.
  const std::string reference = PathOf("reference.file");
  SaveWith(GetParam(), reference);
  EXPECT_TRUE(ReadFile(target_) == ReadFile(reference)) << "not the bytes this save writes";
  const struct stat after = StatOf(target_);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_mode & 07777, 0666u);
  EXPECT_EQ(EntriesInJobs(), 1u);
}

// A folder under the job's name is refused by the checks, before the project
// draws its random bytes, so the next save writes what it would have written.
TEST_P(SavePermissionsTest, FolderAsTargetIsRefusedBeforeAnyDraw) {
  std::filesystem::permissions(jobs_, std::filesystem::perms(0777));
  std::filesystem::create_directory(target_);
  std::filesystem::permissions(target_, std::filesystem::perms(0777));

  const std::string outcome = SaveAsOrdinaryUser(target_);
  EXPECT_NE(outcome.find(target_ + ": Is a directory"), std::string::npos) << outcome;
  EXPECT_EQ(outcome.find(kDrawnText), std::string::npos) << outcome;
  EXPECT_TRUE(std::filesystem::is_directory(target_));
  EXPECT_TRUE(std::filesystem::is_empty(target_));
  EXPECT_EQ(EntriesInJobs(), 1u);

  // And as the test's own user, in this process.
  const uint32_t seed = RandSeed();
  const std::vector<uint8_t> pad(std::begin(ProjectPad), std::end(ProjectPad));
  EXPECT_THROW(SaveWith(GetParam(), target_), std::exception);
  EXPECT_EQ(RandSeed(), seed);
  EXPECT_EQ(std::vector<uint8_t>(std::begin(ProjectPad), std::end(ProjectPad)), pad);
  EXPECT_EQ(EntriesInJobs(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Savers, SavePermissionsTest, ::testing::ValuesIn(kSavers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
