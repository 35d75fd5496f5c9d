// Automation arrays of more than one dimension, as Windows makes them.
#include <cstring>

#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

using ComTest = ConformanceTest;

TEST_F(ComTest, ATwoDimensionalArrayKeepsEachBoundAndLaysItsFirstDimensionOutFastest) {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};  // dimension 1: 1 and 2; dimension 2: -1 to 1
    SAFEARRAY* array = SafeArrayCreate(VT_UI1, 2, bounds);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(SafeArrayGetDim(array), 2u);
    struct Bound {
        UINT dim;
        LONG lower;
        LONG upper;
    };
    for (const Bound& expected : {Bound{1, 1, 2}, Bound{2, -1, 1}}) {
        LONG lower = 0, upper = 0;
        EXPECT_EQ(SafeArrayGetLBound(array, expected.dim, &lower), S_OK);
        EXPECT_EQ(SafeArrayGetUBound(array, expected.dim, &upper), S_OK);
        EXPECT_EQ(lower, expected.lower) << expected.dim;
        EXPECT_EQ(upper, expected.upper) << expected.dim;
    }
    LONG bound = 0;
    EXPECT_EQ(SafeArrayGetLBound(array, 3, &bound), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetUBound(array, 0, &bound), DISP_E_BADINDEX);

    // Each element's value names its place: tens for dimension 2, units for dimension 1.
    for (LONG second = -1; second <= 1; ++second) {
        for (LONG first = 1; first <= 2; ++first) {
            LONG at[2] = {first, second};
            BYTE value = static_cast<BYTE>(10 * (second + 1) + first);
            EXPECT_EQ(SafeArrayPutElement(array, at, &value), S_OK);
        }
    }
    BYTE value = 0;
    LONG outside[2][2] = {{3, 0}, {1, 2}};
    for (LONG* at : outside) EXPECT_EQ(SafeArrayPutElement(array, at, &value), DISP_E_BADINDEX);
    LONG at[2] = {2, 0};
    EXPECT_EQ(SafeArrayGetElement(array, at, &value), S_OK);
    EXPECT_EQ(value, 12);
    void* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(array, &data), S_OK);
    const BYTE laidOut[] = {1, 2, 11, 12, 21, 22};
    EXPECT_EQ(std::memcmp(data, laidOut, sizeof laidOut), 0);
    EXPECT_EQ(SafeArrayUnaccessData(array), S_OK);
    EXPECT_EQ(SafeArrayDestroy(array), S_OK);

    EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, bounds), nullptr);
}

}  // namespace
}  // namespace conformance
