#pragma once
// Text files as the program writes them: UTF-8, every line ended by CR LF.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Replaces `path` with the lines as WriteWholeFile does: whole or not at all,
// so a write that fails (a full disk) leaves the earlier file as it was, or
// no file, and nothing beside it; a symbolic link is written through to its
// target, and a device or FIFO under the name is refused, never waited on.
// Throws EInOutError (path and errno text) when the file cannot be created or
// fully written.
void WriteTextLines(const std::string& path, const std::vector<std::string>& lines);
// The same for `count` lines that `lineAt(i)` gives one by one, for a caller
// that keeps its lines in a form of its own (the window log).
void WriteTextLines(const std::string& path, size_t count, const std::function<std::string_view(size_t)>& lineAt);

// Reads a text file line by line, its lines ended as SplitLines ends them
// (line_splitter.h: LF, CR LF, CR CR LF and a lone CR are one line end each;
// a final line without an end counts; a line is cut at 64 KB). Throws
// EInOutError when it cannot be opened or read, or is no regular file (a FIFO
// or a device is refused at once, never waited on).
std::vector<std::string> ReadTextLines(const std::string& path);

// Whether a file (not a folder) exists at `path`.
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Creates one folder; returns false when it could not.
bool CreateDir(const std::string& path);
