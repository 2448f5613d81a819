#include "uninstall_sequence.h"
#include "win32.h"

// No window, no command line: everything happens in message boxes. The host
// tests start their runs here.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // First: nothing may load a DLL by name before it.
  LoadSystemDlls();
  RunUninstall();
  return 0;
}

#ifdef _WIN32
// Where Windows starts the program: it links no C runtime (CMakeLists.txt),
// so nothing runs before this. Returning would end only this thread, and the
// loader's worker threads or one that shell code started could keep the
// process alive; ExitProcess ends it, with 0 on every path.
extern "C" void WINAPI UninstallStart() {
  WinMain(NULL, NULL, NULL, SW_SHOWDEFAULT);
  ExitProcess(0);
}
#endif
