#include "config/CTableFilePath.h"

#include "platform/files.h"

std::string CTableFilePath::Build(const std::string& runPath, const std::string& boardProduct,
                                  const std::string& mcc, const std::string& fileName) {
    if (!mcc.empty()) {
        return runPath + boardProduct + "_" + mcc + "_" + fileName;
    }
    return runPath + boardProduct + "_" + fileName;
}

bool CTableFilePath::Exists(const std::string& path) {
    if (path.empty() || path.size() > kMaxPath) {
        return false;
    }
    return PathFileExistsA(path.c_str()) != FALSE;
}
