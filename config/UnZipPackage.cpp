// Placeholder until the unpacker lands: no package is ever found.
#include "config/UnZipPackage.h"

bool UnZipPackage(std::string, std::string) { return false; }
