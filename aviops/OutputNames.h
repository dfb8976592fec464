#pragma once

#include <string>

// Path helpers the operations and both front ends share: file stems, default
// output names, whether two names are one file, and deleting an old output.
// Paths are UTF-8 (the bytes the file system stores).
namespace trelvan {

// From the last dot of the file name, the dot included ("" without one).
std::string FileExtension(const std::string& path);
// Folder and file name without the extension ("/a/b.c.avi" -> "/a/b.c").
std::string FileStem(const std::string& path);
// stem + suffix + extension ("/m/a.avi", "_extr", ".wav" -> "/m/a_extr.wav").
std::string DefaultOutputName(const std::string& source, const std::string& suffix,
                              const std::string& ext);
// True when both names reach the same existing file: the same device and
// inode, however spelled (relative, "..", symbolic or hard links).
bool SameFile(const std::string& a, const std::string& b);
// Deletes a file if it exists, read-only or not (the folder's rights
// decide). 0 normally, 1 when the deletion failed.
int RemoveExistingFile(const std::string& path);

}  // namespace trelvan
