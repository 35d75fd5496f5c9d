// Every area of the substitute layer at once.
#pragma once

#include "platform/com.h"
#include "platform/crt.h"
#include "platform/device.h"
#include "platform/fileinfo.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/mbn.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/service.h"
#include "platform/shell.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "platform/system_info.h"
#include "platform/types.h"
