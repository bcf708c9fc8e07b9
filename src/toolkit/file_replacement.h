#pragma once
// The one way the program writes a file that the user keeps: whole or not at
// all. Every failure throws EInOutError with the path and the system's reason.
// Any thread; one object per file.

#include <string>
#include <string_view>

// Creates or replaces the file `path` with `bytes` through a FileReplacement,
// so a write that fails part way leaves the earlier file whole. A device or
// FIFO under that name is refused (kNotRegularFileText) and never opened, so
// no save waits on one. Throws EInOutError when the file cannot be created or
// fully written.
void WriteWholeFile(const std::string& path, std::string_view bytes);

// A save that replaces the file the user named as a whole. The file written is
// `path` with its symbolic links followed, so a link is written through and
// its target gets the new content. The constructor makes every check and
// throws EInOutError before anything is written: a folder is refused as
// "Is a directory", a target that is neither a regular file nor a folder (a
// device, a FIFO) with kNotRegularFileText, since the rename would remove it,
// and a file the user may not write (access W_OK) with the system's reason.
// It then creates the temporary file beside the target, and Commit renames it
// over the target only once it is complete and flushed. It takes the
// permission bits of the file it replaces; a fresh file gets those the umask
// allows (0666 & ~umask). Destroyed without a successful Commit, it removes
// the temporary file, so a failed save (a full disk, an I/O error) leaves the
// earlier file intact and nothing beside it. The rename puts a new file in
// the old one's place: a hard link to the old file keeps the old content.
// Where the temporary file cannot be made for want of permission to the
// folder (EACCES, or EPERM where the folder is immutable) an existing,
// writable target is opened instead and Commit empties and writes it in
// place: it keeps its owner and links, but a write that fails part way
// leaves it short. Any other reason (no space, no inodes, a quota, too many
// open files, a read-only file system) throws EInOutError with the system's
// reason and leaves the target as it was.
class FileReplacement {
public:
  explicit FileReplacement(const std::string& path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Writes `bytes` and puts the file in place. Throws EInOutError; call once.
  void Commit(std::string_view bytes);

private:
  void Discard();  // closes and removes the temporary file

  std::string path_;  // as the user named it, for the error texts
  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  bool committed_ = false;
};
