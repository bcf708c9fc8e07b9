// Saves as an ordinary user meets them: every writer the window's save
// handlers call (the image formats and the project), and make_project run as
// a separate process, onto a write-protected file, onto a writable file in a
// folder the user may not write or that is immutable, and onto a folder. Each
// save runs in a child that is the unprivileged user, since root passes every
// permission check.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/ordinary_user.h"
#include "support/savers.h"

namespace {

constexpr const char* kEarlier = "the earlier file";

constexpr const char* kDrawnText = " (random bytes were drawn)";

// An earlier file longer than any save, of bytes no save writes: a save in
// place that did not empty the file first would leave its tail behind.
std::string LongEarlierFile() { return std::string(256 << 10, '#'); }

// The folder's immutable attribute (chattr +i), which refuses every new name
// in it with EPERM, to root as well, whatever its permission bits say. Set
// while the object lives; setting it needs CAP_LINUX_IMMUTABLE and a file
// system that keeps the attribute, and WhyNot() says what was missing.
class ImmutableFolder {
 public:
  explicit ImmutableFolder(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0 || ::ioctl(fd_, FS_IOC_GETFLAGS, &flags_) != 0) {
      whyNot_ = path + ": " + std::strerror(errno);
      return;
    }
    int immutable = flags_ | FS_IMMUTABLE_FL;
    if (::ioctl(fd_, FS_IOC_SETFLAGS, &immutable) != 0)
      whyNot_ = "chattr +i " + path + ": " + std::strerror(errno);
    else
      set_ = true;
  }
  ~ImmutableFolder() {
    if (set_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
    if (fd_ >= 0) ::close(fd_);
  }
  ImmutableFolder(const ImmutableFolder&) = delete;
  ImmutableFolder& operator=(const ImmutableFolder&) = delete;

  bool Set() const { return set_; }
  const std::string& WhyNot() const { return whyNot_; }

 private:
  int fd_;
  int flags_ = 0;
  bool set_ = false;
  std::string whyNot_;
};

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

  // What the ordinary user meets making a new file in `folder`: "made" or
  // the system's reason.
  static std::string OrdinaryUserCreates(const std::filesystem::path& folder) {
    return RunAsOrdinaryUser([&] {
             const std::string probe = (folder / "probe").string();
             const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
             if (fd < 0) return std::string(std::strerror(errno));
             ::close(fd);
             ::unlink(probe.c_str());
             return std::string("made");
           })
        .report;
  }

  // The save as the ordinary user, onto a writable file longer than the save
  // in a folder where no temporary file can be made: the file is written in
  // place, holds exactly what the save writes, and is the same file still.
  void ExpectWrittenInPlace() {
    const struct stat before = StatOf(target_);
    ASSERT_EQ(static_cast<size_t>(before.st_size), LongEarlierFile().size());

    const std::string outcome = SaveAsOrdinaryUser(target_);
    EXPECT_TRUE(outcome.starts_with("saved")) << outcome;

    // The child drew from a copy of the generator; this process draws the same.
    const std::string reference = PathOf("reference.file");
    SaveWith(GetParam(), reference);
    ASSERT_LT(ReadFile(reference).size(), LongEarlierFile().size()) << "the earlier file no longer outlasts the save";
    const std::string written = ReadFile(target_);
    EXPECT_TRUE(written == ReadFile(reference))
        << "not the bytes this save writes: " << written.size() << " bytes, the save writes "
        << ReadFile(reference).size();
    const struct stat after = StatOf(target_);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_mode & 07777, 0666u);
    EXPECT_EQ(EntriesInJobs(), 1u);
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

// No temporary file can be made beside it (EACCES), so the file is written
// in place, as saves were written before they replaced the file whole.
TEST_P(SavePermissionsTest, WritableFileInAFolderTheUserMayNotWriteIsWrittenInPlace) {
  WriteFile("jobs/saved.file", LongEarlierFile());
  std::filesystem::permissions(target_, std::filesystem::perms(0666));
  std::filesystem::permissions(jobs_, std::filesystem::perms(0555));
  if (OrdinaryUserCreates(jobs_) != std::strerror(EACCES)) GTEST_SKIP() << "this user may write a 0555 folder";
  ExpectWrittenInPlace();
}

// An immutable folder refuses the temporary file with EPERM, though its
// permission bits let the user write it; the file itself is writable, so it
// is written in place as in a folder the user may not write.
TEST_P(SavePermissionsTest, WritableFileInAnImmutableFolderIsWrittenInPlace) {
  std::filesystem::permissions(jobs_, std::filesystem::perms(0777));
  WriteFile("jobs/saved.file", LongEarlierFile());
  std::filesystem::permissions(target_, std::filesystem::perms(0666));
  const ImmutableFolder immutable(jobs_.string());
  if (!immutable.Set()) GTEST_SKIP() << immutable.WhyNot();
  ASSERT_EQ(OrdinaryUserCreates(jobs_), std::strerror(EPERM));
  ExpectWrittenInPlace();
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
