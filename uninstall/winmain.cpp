#include "uninstall_sequence.h"
#include "win32.h"

// No window, no command line: everything happens in message boxes.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RunUninstall();
  return 0;
}
