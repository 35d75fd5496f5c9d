// The C runtime's file calls that take a Windows path. The streams they return
// are ordinary C streams (fprintf, fflush, fseek, ftell, fclose).
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <stdio.h>
#include <share.h>
#include <direct.h>
#include <io.h>
#else

#include <cstdio>

constexpr int _SH_DENYRW = 0x10;
constexpr int _SH_DENYWR = 0x20;
constexpr int _SH_DENYRD = 0x30;
constexpr int _SH_DENYNO = 0x40;

std::FILE* _fsopen(const char* fileName, const char* mode, int shareFlag);
int _mkdir(const char* dirName);
int _access(const char* path, int mode);

#endif  // _WIN32
