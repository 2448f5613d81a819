// The baseline for timing the uninstaller under Wine: a program that starts,
// shows one message box like the uninstaller's, and exits. Whatever the
// uninstaller costs beyond this is its own work.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(NULL, "TAMbirox 2000 wurde erfolgreich entfernt.", "Uninstall",
              MB_ICONINFORMATION);
  return 0;
}
