// The C runtime's file calls that take a Windows path. The streams they return
// are ordinary C streams (fprintf, fflush, fseek, ftell, fclose).
#pragma once

#include <cstdio>

constexpr int _SH_DENYRW = 0x10;
constexpr int _SH_DENYWR = 0x20;
constexpr int _SH_DENYRD = 0x30;
constexpr int _SH_DENYNO = 0x40;

std::FILE* _fsopen(const char* fileName, const char* mode, int shareFlag);
int _mkdir(const char* dirName);
int _access(const char* path, int mode);
