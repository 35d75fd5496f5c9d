#include "platform/service.h"

int main() {
    // Outside the service control manager the dispatcher call fails; either way the program ends here.
    SERVICE_TABLE_ENTRYA table[] = {{nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
