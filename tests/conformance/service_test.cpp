// The service control manager's answer for a service that is not there.
#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

using ServiceTest = ConformanceTest;

TEST_F(ServiceTest, AMissingServiceIs1060) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr) << GetLastError();
    SetLastError(0);
    EXPECT_EQ(OpenServiceA(manager, "Kavrion Conformance Missing Service", SERVICE_QUERY_STATUS), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
    CloseServiceHandle(manager);
}

}  // namespace
}  // namespace conformance
