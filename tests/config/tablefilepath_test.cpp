// The board- and MCC-specific table file name, and that it must exist.
#include <gtest/gtest.h>

#include <string>

#include "config/CTableFilePath.h"
#include "tests/support/sim_test.h"

namespace {

TEST(TableFilePath, Forms) {
    EXPECT_EQ(CTableFilePath::Build("C:\\Run\\", "BOARDX", "310", "SAR_DPR_PV.ini"),
              "C:\\Run\\BOARDX_310_SAR_DPR_PV.ini");
    EXPECT_EQ(CTableFilePath::Build("C:\\Run\\", "BOARDX", "", "SAR_DPR_PV.ini"), "C:\\Run\\BOARDX_SAR_DPR_PV.ini");
    EXPECT_EQ(CTableFilePath::Build("C:\\Run\\", "", "310", "SAR_DPR_PV.ini"), "C:\\Run\\_310_SAR_DPR_PV.ini");
}

class TableFilePathExists : public kvtest::SimTest {};

TEST_F(TableFilePathExists, OnlyAnExistingFileWithinThePathLimit) {
    WriteFile("C:\\Run\\BOARDX_SAR_DPR_PV.ini", "x");
    EXPECT_TRUE(CTableFilePath::Exists("C:\\Run\\BOARDX_SAR_DPR_PV.ini"));
    EXPECT_TRUE(CTableFilePath::Exists("c:\\run\\boardx_sar_dpr_pv.INI"));
    EXPECT_FALSE(CTableFilePath::Exists("C:\\Run\\BOARDX_310_SAR_DPR_PV.ini"));
    EXPECT_FALSE(CTableFilePath::Exists(""));

    std::string folder = "C:\\" + std::string(240, 'd') + "\\";
    std::string fits = folder + std::string(259 - folder.size(), 'f');
    std::string longer = folder + std::string(260 - folder.size(), 'f');
    WriteFile(fits, "x");
    WriteFile(longer, "x");
    EXPECT_TRUE(CTableFilePath::Exists(fits));
    EXPECT_FALSE(CTableFilePath::Exists(longer));
}

}  // namespace
