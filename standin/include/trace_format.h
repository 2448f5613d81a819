// The call trace format shared by the host stand-in's journal and the Wine
// relay-trace normaliser: one line per Win32 call,
//   Function(arg, "string", ...) -> result
// with strings escaped as Wine's debugstr_a does (\\ \" \n \r \t, other
// bytes outside 0x20..0x7e as \xNN), so both platforms print the same bytes.
#ifndef STANDIN_TRACE_FORMAT_H
#define STANDIN_TRACE_FORMAT_H

#include <string>

#include "win32_standin.h"

namespace standin {

std::string Quoted(const char *text);       // "..." or NULL
std::string RootName(HKEY key);             // HKEY_LOCAL_MACHINE, ... or key
std::string FolderName(int csidl);          // CSIDL_PROGRAMS, ... or decimal
std::string Hex(unsigned value);            // 0x223

}  // namespace standin

#endif
