#pragma once
// Windows builds only: <windows.h> without the macros that would rename the
// program's own members (FileSystem::CopyFile and ::DeleteFile become
// CopyFileA/DeleteFileA otherwise). Include this instead of <windows.h>.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef DeleteFile

// Missing from older SDK headers; the platform layer reports folders opened
// as files with it.
#ifndef ERROR_DIRECTORY_NOT_SUPPORTED
#define ERROR_DIRECTORY_NOT_SUPPORTED 336L
#endif
