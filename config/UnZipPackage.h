// Unpacking the configuration package.
#pragma once

#include <string>

// `folder` is the destination and ends in a path separator. True only when
// the package opened as a zip archive and every item in it was unpacked.
bool UnZipPackage(std::string folder, std::string packagePath);
// True when the path exists (file or folder); logs the path and the error
// number when it does not.
bool IsFileExist(std::string path);
