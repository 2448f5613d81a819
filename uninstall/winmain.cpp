#include "uninstall_sequence.h"
#include "win32.h"

// No window, no command line: everything happens in message boxes.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // First: nothing may load a DLL by name before it.
  LoadSystemDlls();
  RunUninstall();
  return 0;
}
