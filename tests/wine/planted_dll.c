/* A DLL that an attacker might leave in the installation folder or the
   current folder under a system DLL's name. Loaded into any process, it
   appends "<its path> in <the process's exe>" to C:\planted-dll-markers.txt.
   It imports kernel32 only and has no C runtime, so that it works under any
   name, msvcrt's included. Mark is for rundll32: proof that it marks. */
#include <windows.h>

static void Append(HANDLE file, const char *text) {
  DWORD written;
  WriteFile(file, text, (DWORD)lstrlenA(text), &written, NULL);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  char dll[MAX_PATH], exe[MAX_PATH];
  HANDLE file;
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  GetModuleFileNameA(instance, dll, MAX_PATH);
  GetModuleFileNameA(NULL, exe, MAX_PATH);
  file = CreateFileA("C:\\planted-dll-markers.txt", FILE_APPEND_DATA,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    Append(file, dll);
    Append(file, " in ");
    Append(file, exe);
    Append(file, "\r\n");
    CloseHandle(file);
  }
  return TRUE;
}

__declspec(dllexport) void CALLBACK Mark(HWND window, HINSTANCE instance,
                                         LPSTR command, int show) {
  (void)window;
  (void)instance;
  (void)command;
  (void)show;
}
