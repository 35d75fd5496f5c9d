// The Mobile Broadband API: the interface manager and its interfaces, the
// device-services manager with its contexts and device services, and the event
// interfaces the system's sinks implement. Ours in both faces, since mingw-w64
// has no mbnapi.h: the interfaces and types in platform/mbn_interfaces.h, the
// ids in platform/mbn_ids.h.
#pragma once

#include "platform/com.h"
#include "platform/mbn_ids.h"
#include "platform/mbn_interfaces.h"
