// wine_probe: a small Win32 console helper that the Wine end-to-end tests run
// next to the program under test, in the same prefix and on the same desktop.
//
//   wine_probe dialog [--title T] [--timeout-ms N]
//                     --answer yes|no|cancel|ok|escape|close|none
//       Waits for the next visible box (#32770) with that title, prints its
//       text, buttons, default button and icon, then answers: a button is
//       clicked (BM_CLICK), escape presses Esc on the focused control, close
//       is the title bar's X (SC_CLOSE), none leaves the box open. After an
//       answer it waits until the box is destroyed, so that the next call
//       sees the next box. The report includes the box's screen rectangle.
//   wine_probe keys  HKLM\path HKCU\path HKCR\path ...
//   wine_probe files C:\path ...
//   wine_probe folders [CSIDL ...]            (default: 2 16)
//   wine_probe desktop                        (starts it if need be; its size)
//   wine_probe wait STOPFILE TIMEOUT_MS
//       Stands in for the product's program while it is open: copied into
//       the installation folder as tambirox.exe and started, it reports its
//       pid and keeps running until STOPFILE exists (or the timeout ends
//       it, with exit code 2), so the uninstaller cannot delete it.
//   wine_probe setvalue ROOT\path NAME TYPE HEXBYTES
//                     (exact bytes, e.g. a REG_SZ without its NUL, which a
//                      .reg import cannot store: regedit adds the NUL;
//                      reports the type and size stored, read back)
//
// Every result is one line of JSON per item, UTF-8, on stdout.
// Exit codes: 0 done; 1 usage; 2 no dialog within the timeout;
//             3 answered but the dialog was still open at the timeout;
//             4 the requested button is not in the dialog; 5 a registry write failed.

// Wide IDI_* constants and W functions throughout.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- output

// Written with WriteFile so that the bytes reach the pipe unchanged,
// whatever the console code page is.
void WriteBytes(DWORD which, const std::string &bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), bytes.data(), (DWORD)bytes.size(), &written, nullptr);
}

std::string Utf8(const std::wstring &w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
  std::string s(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
  return s;
}

std::string JsonString(const std::wstring &w) {
  std::string out = "\"";
  for (char c : Utf8(w)) {
    unsigned char u = (unsigned char)c;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      wsprintfA(buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Num(long long v) { return std::to_string(v); }

int Fail(int code, const std::string &message) {
  WriteBytes(STD_ERROR_HANDLE, "wine_probe: " + message + "\n");
  return code;
}

// ---------------------------------------------------------------- dialogs

struct FindRequest {
  const wchar_t *title;
  HWND found;
};

std::wstring WindowText(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::wstring s(n + 1, L'\0');
  s.resize(GetWindowTextW(hwnd, &s[0], n + 1));
  return s;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buf[64] = L"";
  GetClassNameW(hwnd, buf, 64);
  return buf;
}

BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM param) {
  FindRequest *req = reinterpret_cast<FindRequest *>(param);
  // A message box is shown only after WM_INITDIALOG, so a visible one has
  // its text and buttons in place.
  if (IsWindowVisible(hwnd) && ClassOf(hwnd) == L"#32770" &&
      WindowText(hwnd) == req->title && GetDlgItem(hwnd, 0xFFFF) != nullptr) {
    req->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForDialog(const wchar_t *title, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    FindRequest req = {title, nullptr};
    EnumWindows(FindDialogProc, reinterpret_cast<LPARAM>(&req));
    if (req.found) return req.found;
    if (GetTickCount() - start >= timeoutMs) return nullptr;
    Sleep(25);
  }
}

const wchar_t *ButtonName(int id) {
  switch (id) {
    case IDOK: return L"ok";
    case IDCANCEL: return L"cancel";
    case IDABORT: return L"abort";
    case IDRETRY: return L"retry";
    case IDIGNORE: return L"ignore";
    case IDYES: return L"yes";
    case IDNO: return L"no";
    case IDTRYAGAIN: return L"tryagain";
    case IDCONTINUE: return L"continue";
  }
  return nullptr;
}

struct Button {
  int id;
  std::wstring name;
  bool isDefault;
  int x;
};

std::vector<Button> ButtonsOf(HWND dialog) {
  std::vector<Button> buttons;
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (!IsWindowVisible(c) || ClassOf(c) != L"Button") continue;
    int id = GetDlgCtrlID(c);
    const wchar_t *known = ButtonName(id);
    std::wstring name = known ? known : L"id" + std::to_wstring(id);
    // DM_GETDEFID answers 1 under Wine whatever the default is; the
    // button's own style is what the dialog manager maintains.
    LONG style = GetWindowLongW(c, GWL_STYLE);
    RECT r;
    GetWindowRect(c, &r);
    buttons.push_back({id, name, (style & 0x0F) == BS_DEFPUSHBUTTON, (int)r.left});
  }
  // Left to right, as the user sees them.
  for (size_t i = 1; i < buttons.size(); ++i)
    for (size_t j = i; j > 0 && buttons[j].x < buttons[j - 1].x; --j)
      std::swap(buttons[j], buttons[j - 1]);
  return buttons;
}

HWND IconControlOf(HWND dialog) {
  for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (ClassOf(c) == L"Static" && (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        IsWindowVisible(c))
      return c;
  }
  return nullptr;
}

struct IconKind {
  const wchar_t *name;
  LPCWSTR id;
};

const IconKind kIconKinds[] = {
    {L"question", IDI_QUESTION},
    {L"warning", IDI_WARNING},
    {L"information", IDI_INFORMATION},
    {L"error", IDI_ERROR},
};

// A 32-bit top-down bitmap in a memory DC, to draw into and read back.
class Canvas {
 public:
  Canvas(int w, int h) : size_(w * h) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    void *bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<DWORD *>(bits);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Canvas(const Canvas &) = delete;
  Canvas &operator=(const Canvas &) = delete;

  HDC dc() const { return dc_; }
  void Fill(DWORD colour) { std::fill(bits_, bits_ + size_, colour); }
  std::vector<DWORD> Pixels() const {
    GdiFlush();
    return std::vector<DWORD>(bits_, bits_ + size_);
  }

 private:
  int size_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
  DWORD *bits_;
};

// Reads a rectangle of the screen (the virtual desktop) as BGRx values.
std::vector<DWORD> CaptureScreen(const RECT &r) {
  int w = r.right - r.left, h = r.bottom - r.top;
  Canvas canvas(w, h);
  HDC screen = GetDC(nullptr);
  bool ok = BitBlt(canvas.dc(), 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != 0;
  ReleaseDC(nullptr, screen);
  return ok ? canvas.Pixels() : std::vector<DWORD>();
}

// Draws one of our own system icons over the captured background colour,
// the way the static control draws it (at the control's size).
std::vector<DWORD> RenderIcon(HICON icon, int w, int h, DWORD background) {
  Canvas canvas(w, h);
  canvas.Fill(background);
  DrawIconEx(canvas.dc(), 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
  return canvas.Pixels();
}

// The icon handle of another process means nothing in ours (checked first
// anyway), so the kind is found by comparing pixels on the screen with the
// system icons drawn locally.
std::wstring IconKindOf(HWND dialog, std::wstring &method) {
  HWND ctl = IconControlOf(dialog);
  method = L"none";
  if (!ctl) return L"none";
  DWORD_PTR handle = 0;
  SendMessageTimeoutW(ctl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 1000, &handle);
  for (const IconKind &k : kIconKinds) {
    if (handle && (HICON)handle == LoadIconW(nullptr, k.id)) {
      method = L"handle";
      return k.name;
    }
  }
  method = L"pixels";
  RECT r;
  GetClientRect(ctl, &r);
  MapWindowPoints(ctl, nullptr, (POINT *)&r, 2);
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return L"unknown";
  // The box may still be painting: retry briefly.
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::vector<DWORD> shot = CaptureScreen(r);
    if (!shot.empty()) {
      DWORD background = shot[0] & 0xFFFFFF;  // system icons have clear corners
      const wchar_t *best = nullptr;
      size_t bestDiff = (size_t)-1;
      for (const IconKind &k : kIconKinds) {
        std::vector<DWORD> ref = RenderIcon(LoadIconW(nullptr, k.id), w, h, background);
        size_t diff = 0;
        for (size_t i = 0; i < ref.size(); ++i)
          if ((ref[i] & 0xFFFFFF) != (shot[i] & 0xFFFFFF)) ++diff;
        if (diff < bestDiff) {
          bestDiff = diff;
          best = k.name;
        }
      }
      // Near-exact only: a half-painted box or another icon does not count.
      if (best && bestDiff * 50 <= (size_t)(w * h)) return best;
    }
    Sleep(50);
  }
  return L"unknown";
}

bool WaitUntilGone(HWND hwnd, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (IsWindow(hwnd)) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(10);
  }
  return true;
}

// Esc goes through the box's own modal loop, as a real key press would.
void PressEscape(HWND dialog) {
  GUITHREADINFO gti = {};
  gti.cbSize = sizeof gti;
  HWND target = dialog;
  if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gti) && gti.hwndFocus)
    target = gti.hwndFocus;
  PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

int AnswerId(const std::wstring &answer) {
  if (answer == L"ok") return IDOK;
  if (answer == L"cancel") return IDCANCEL;
  if (answer == L"yes") return IDYES;
  if (answer == L"no") return IDNO;
  return 0;
}

int RunDialog(const std::vector<std::wstring> &args) {
  std::wstring title = L"Uninstall", answer;
  DWORD timeoutMs = 10000;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    if (args[i] == L"--title") title = args[i + 1];
    else if (args[i] == L"--timeout-ms") timeoutMs = wcstoul(args[i + 1].c_str(), nullptr, 10);
    else if (args[i] == L"--answer") answer = args[i + 1];
    else return Fail(1, "unknown option " + Utf8(args[i]));
  }
  if (args.size() % 2 != 0) return Fail(1, "option without value");
  bool click = AnswerId(answer) != 0;
  if (!click && answer != L"escape" && answer != L"close" && answer != L"none")
    return Fail(1, "--answer must be yes, no, cancel, ok, escape, close or none");

  HWND dialog = WaitForDialog(title.c_str(), timeoutMs);
  if (!dialog)
    return Fail(2, "timeout: no visible dialog titled \"" + Utf8(title) + "\" within " +
                       Num(timeoutMs) + " ms");

  DWORD pid = 0;
  GetWindowThreadProcessId(dialog, &pid);
  std::wstring text = WindowText(GetDlgItem(dialog, 0xFFFF));
  std::vector<Button> buttons = ButtonsOf(dialog);
  std::wstring method;
  std::wstring icon = IconKindOf(dialog, method);

  // Screen position, for cropping a screenshot to the box.
  RECT frame;
  GetWindowRect(dialog, &frame);

  std::string json = "{\"hwnd\":" + Num((long long)(UINT_PTR)dialog) + ",\"pid\":" + Num(pid) +
                     ",\"title\":" + JsonString(title) + ",\"text\":" + JsonString(text) +
                     ",\"rect\":[" + Num(frame.left) + "," + Num(frame.top) + "," +
                     Num(frame.right) + "," + Num(frame.bottom) + "]" +
                     ",\"buttons\":[";
  std::wstring def;
  HWND target = nullptr;
  for (size_t i = 0; i < buttons.size(); ++i) {
    json += (i ? "," : "") + JsonString(buttons[i].name);
    if (buttons[i].isDefault) def = buttons[i].name;
    if (buttons[i].id == AnswerId(answer)) target = GetDlgItem(dialog, buttons[i].id);
  }
  json += "],\"default\":" + (def.empty() ? std::string("null") : JsonString(def)) +
          ",\"icon\":" + JsonString(icon) + ",\"icon_method\":" + JsonString(method) +
          ",\"answer\":" + JsonString(answer);

  if (click && !target) {
    WriteBytes(STD_OUTPUT_HANDLE, json + ",\"closed\":false}\n");
    return Fail(4, "the dialog has no \"" + Utf8(answer) + "\" button");
  }
  if (click) {
    DWORD_PTR ignored;
    SendMessageTimeoutW(target, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &ignored);
  } else if (answer == L"escape") {
    PressEscape(dialog);
  } else if (answer == L"close") {
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  }

  // Waiting for the window to go keeps the next call from reporting the
  // same box again; "none" leaves it open on purpose.
  bool closed = answer != L"none" && WaitUntilGone(dialog, timeoutMs);
  WriteBytes(STD_OUTPUT_HANDLE, json + ",\"closed\":" + (closed ? "true" : "false") + "}\n");
  if (answer != L"none" && !closed)
    return Fail(3, "the dialog was still open " + Num(timeoutMs) + " ms after the answer");
  return 0;
}

// ---------------------------------------------------------------- registry, files

bool SplitRoot(const std::wstring &qualified, HKEY &root, std::wstring &path) {
  size_t slash = qualified.find(L'\\');
  std::wstring name = qualified.substr(0, slash);
  path = slash == std::wstring::npos ? L"" : qualified.substr(slash + 1);
  if (name == L"HKLM") root = HKEY_LOCAL_MACHINE;
  else if (name == L"HKCU") root = HKEY_CURRENT_USER;
  else if (name == L"HKCR") root = HKEY_CLASSES_ROOT;
  else return false;
  return true;
}

int RunKeys(const std::vector<std::wstring> &args) {
  for (const std::wstring &qualified : args) {
    HKEY root, key;
    std::wstring path;
    if (!SplitRoot(qualified, root, path))
      return Fail(1, "root must be HKLM, HKCU or HKCR: " + Utf8(qualified));
    LONG rc = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key);
    if (rc == ERROR_SUCCESS) RegCloseKey(key);
    std::string line = "{\"key\":" + JsonString(qualified) + ",\"exists\":";
    if (rc == ERROR_SUCCESS) line += "true";
    else if (rc == ERROR_FILE_NOT_FOUND) line += "false";
    else line += "null,\"error\":" + Num(rc);
    WriteBytes(STD_OUTPUT_HANDLE, line + "}\n");
  }
  return 0;
}

int RunFiles(const std::vector<std::wstring> &args) {
  for (const std::wstring &path : args) {
    DWORD attr = GetFileAttributesW(path.c_str());
    bool exists = attr != INVALID_FILE_ATTRIBUTES;
    WriteBytes(STD_OUTPUT_HANDLE,
               "{\"path\":" + JsonString(path) + ",\"exists\":" + (exists ? "true" : "false") +
                   ",\"directory\":" +
                   (exists && (attr & FILE_ATTRIBUTE_DIRECTORY) ? "true" : "false") + "}\n");
  }
  return 0;
}

// Same route as the program under test: item-ID list, then its path.
int RunFolders(std::vector<std::wstring> args) {
  if (args.empty()) args = {L"2", L"16"};
  for (const std::wstring &a : args) {
    int csidl = (int)wcstol(a.c_str(), nullptr, 0);
    wchar_t path[MAX_PATH] = L"";
    LPITEMIDLIST pidl = nullptr;
    HRESULT hr = SHGetSpecialFolderLocation(nullptr, csidl, &pidl);
    if (SUCCEEDED(hr)) {
      SHGetPathFromIDListW(pidl, path);
      CoTaskMemFree(pidl);
    }
    WriteBytes(STD_OUTPUT_HANDLE, "{\"csidl\":" + Num(csidl) + ",\"hresult\":" + Num((long)hr) +
                                      ",\"path\":" + JsonString(path) + "}\n");
  }
  return 0;
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

int RunSetValue(const std::vector<std::wstring> &args) {
  if (args.size() != 4) return Fail(1, "setvalue ROOT\\path NAME TYPE HEXBYTES");
  HKEY root, key;
  std::wstring path;
  if (!SplitRoot(args[0], root, path)) return Fail(1, "root must be HKLM, HKCU or HKCR");
  DWORD type = wcstoul(args[2].c_str(), nullptr, 0);
  const std::wstring &hex = args[3];
  std::vector<BYTE> data;
  if (hex.size() % 2 != 0) return Fail(1, "HEXBYTES must be pairs of hex digits");
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return Fail(1, "HEXBYTES must be pairs of hex digits");
    data.push_back((BYTE)(hi * 16 + lo));
  }
  DWORD size = (DWORD)data.size();
  // RegSetValueExW counts a string's NUL that the caller left out when one
  // follows the data in memory (NT does so too): make sure none follows.
  data.push_back(0xFF);
  data.push_back(0xFF);
  LONG rc = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                            nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return Fail(5, "cannot create " + Utf8(args[0]) + ": " + Num(rc));
  rc = RegSetValueExW(key, args[1].c_str(), 0, type, size ? data.data() : nullptr, size);
  // What was stored, read back: the caller checks it is what it asked for.
  DWORD storedType = 0, stored = 0;
  if (rc == ERROR_SUCCESS)
    rc = RegQueryValueExW(key, args[1].c_str(), nullptr, &storedType, nullptr, &stored);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return Fail(5, "cannot set " + Utf8(args[1]) + ": " + Num(rc));
  WriteBytes(STD_OUTPUT_HANDLE, "{\"key\":" + JsonString(args[0]) + ",\"name\":" +
                                    JsonString(args[1]) + ",\"bytes\":" + Num(size) +
                                    ",\"stored_type\":" + Num(storedType) +
                                    ",\"stored_bytes\":" + Num(stored) + "}\n");
  return 0;
}

// Asking for the desktop window makes Wine start the desktop process.
int RunDesktop() {
  RECT r;
  GetWindowRect(GetDesktopWindow(), &r);
  WriteBytes(STD_OUTPUT_HANDLE, "{\"width\":" + Num(r.right - r.left) +
                                    ",\"height\":" + Num(r.bottom - r.top) + "}\n");
  return 0;
}

int RunWait(const std::vector<std::wstring> &args) {
  if (args.size() != 2) return Fail(1, "usage: wine_probe wait STOPFILE TIMEOUT_MS");
  const DWORD timeoutMs = (DWORD)_wtol(args[1].c_str());
  WriteBytes(STD_OUTPUT_HANDLE, "{\"waiting\":" + Num(GetCurrentProcessId()) + "}\n");
  const DWORD started = GetTickCount();
  while (GetFileAttributesW(args[0].c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - started > timeoutMs) return 2;
    Sleep(50);
  }
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 2; i < argc; ++i) args.push_back(argv[i]);
  std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"dialog") return RunDialog(args);
  if (command == L"keys") return RunKeys(args);
  if (command == L"files") return RunFiles(args);
  if (command == L"folders") return RunFolders(args);
  if (command == L"desktop") return RunDesktop();
  if (command == L"setvalue") return RunSetValue(args);
  if (command == L"wait") return RunWait(args);
  return Fail(1, "usage: wine_probe dialog|keys|files|folders|desktop|setvalue|wait ... (see the source's header)");
}
