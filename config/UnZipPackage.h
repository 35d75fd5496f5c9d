// Unpacking the configuration package.
#pragma once

#include <string>

// `folder` is the destination and ends in a path separator.
bool UnZipPackage(std::string folder, std::string packagePath);
