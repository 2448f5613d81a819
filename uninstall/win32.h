// The program's one door to the platform: the real Win32 headers on Windows,
// the host stand-in's declarations of the same calls everywhere else.
#ifndef UNINSTALL_WIN32_H
#define UNINSTALL_WIN32_H

#ifdef _WIN32
#include <windows.h>
#include <shlobj.h>
#else
#include "win32_standin.h"
#endif

#endif
