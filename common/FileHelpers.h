// Free-standing file, folder, process and text helpers of the service core.
#pragma once

#include <string>

// 1 every file copied, -1 an argument is empty, -2 some file or subfolder was
// not copied, -3 the source cannot be listed. Subfolders are created at the
// destination as needed; the destination folder itself must exist.
int CopyFileInDir(const std::string& destination, const std::string& source);
// Moves `folder` (given without a trailing separator) to `folder` + "bk",
// replacing an older backup. True also when the folder does not exist.
bool BackupFolder(const std::string& folder);
// True when the folder itself was removed.
bool DeleteFolderTree(const std::string& folder);
// Creates every folder named before a separator; the part after the last one is not created.
void CreateFolderChain(std::string path);
// The program's exit code, or -999 when it cannot be started.
int RunProcessAndWait(const std::string& executable, const std::string& commandLine);
// True when a listing of the path finds an entry: any existing folder but a drive root.
bool IsFolderNotEmpty(const std::string& path);
bool IsExistingFile(const std::string& path);
bool IsPathAccessible(const std::string& path);
bool Is64BitWindows();
// Unpacks `packageFolder` + `packageName` into `destinationBase` + `destinationName` + "\".
bool UnZipPackageFromParts(const std::string& packageFolder, const std::string& packageName,
                           const std::string& destinationBase, const std::string& destinationName);
