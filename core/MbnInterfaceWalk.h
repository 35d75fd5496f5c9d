// The walk over the modem's interfaces that both SIM reads make.
#pragma once

#include "platform/mbn.h"

// Fetches the manager's interfaces and walks them, reading each one's ready state, up to the
// first step that fails. False when the manager gave no interfaces at all. Otherwise `found`
// is the last interface fetched (the caller releases it), or null when there is none or a null
// element ended the walk. Each failure is logged.
bool GetLastMbnInterface(IMbnInterfaceManager* manager, IMbnInterface*& found);
