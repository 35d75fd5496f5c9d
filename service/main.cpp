#include "service/ServiceHost.h"

int main() { return ServiceProgramMain(); }
