// libFuzzer harness: a fuzzed registration, environment and shell folders are
// seeded into the host stand-in, then the installation lookup runs alone and
// the whole uninstallation runs once. Every path the program hands to
// DeleteFileA is checked against properties that must hold for any input.
//
// Input layout (fuzz/make_corpus.py writes the seeds in the same layout):
//   byte 0   registry type of UninstallString (REG_SZ = 1, REG_EXPAND_SZ = 2,
//            REG_BINARY = 3, REG_DWORD = 4, REG_MULTI_SZ = 7, any other)
//   byte 1   bits 0-1  CSIDL_PROGRAMS state          0 path, 1 unresolvable,
//            bits 2-3  CSIDL_DESKTOPDIRECTORY state  2 without path, 3 unset
//            bit 4     the key exists but has no UninstallString
//            bit 5     the key does not exist
//   then fields, each a 2-byte little-endian length and that many bytes
//   (a length running past the end takes what is left; missing fields are
//   empty):
//     1. UninstallString's bytes, stored exactly (no NUL added)
//     2. CSIDL_PROGRAMS path         } cut at the first NUL; put under "C:\"
//     3. CSIDL_DESKTOPDIRECTORY path } unless already absolute
//     4. environment: name, value, name, value, ... until the input ends
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "install_paths.h"
#include "standin.h"
#include "uninstall_sequence.h"

namespace {

// Written out here rather than taken from the program, so a changed table in
// the program shows up as a violation.
const char KeyPath[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TAMbirox 2000";
const char ValueName[] = "UninstallString";
const char ShortcutName[] = "\\TAMbirox2000.lnk";
const char *const InstalledNames[] = {
    "tambirox.exe",
    "branch.gif",
    "branch_last.gif",
    "category_collapsed.gif",
    "category_expanded.gif",
    "entry.gif",
    "line.gif",
    "minus.gif",
    "minus_last.gif",
    "plus.gif",
    "plus_last.gif",
    "space.gif",
    "tambirox.cnt",
    "tambirox.hlp",
    "DHTML Export Template.htm",
    "loading.htm",
    "noscript.htm",
    "welcome.htm",
    "tipps.txt",
};
const int InstalledNameCount =
    (int)(sizeof InstalledNames / sizeof InstalledNames[0]);
const int Folders[2] = {CSIDL_PROGRAMS, CSIDL_DESKTOPDIRECTORY};
const std::size_t LongestPath = MAX_PATH - 1;  // without the NUL
const std::size_t Guard = 64;

enum FolderState { WithPath = 0, Unresolvable = 1, WithoutPath = 2, Unset = 3 };

struct Input {
  DWORD type = REG_SZ;
  bool keyMissing = false;
  bool valueMissing = false;
  std::string value;
  FolderState folderState[2] = {WithPath, WithPath};
  std::string folderPath[2];
  std::vector<std::pair<std::string, std::string>> environment;
};

std::string Printable(const std::string &text) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += (char)c;
    } else if (c < 0x20 || c >= 0x7f) {
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 0xf];
    } else {
      out += (char)c;
    }
  }
  return out + "\" (" + std::to_string(text.size()) + " chars)";
}

[[noreturn]] void Fail(const char *what, const std::string &detail = "") {
  std::fprintf(stderr, "\n*** fuzz_install_paths: %s %s\n", what,
               detail.empty() ? "" : Printable(detail).c_str());
  std::abort();
}

struct Reader {
  const std::uint8_t *data;
  std::size_t left;

  bool AtEnd() const { return left == 0; }
  std::uint8_t Byte() {
    if (left == 0) return 0;
    --left;
    return *data++;
  }
  std::string Field() {
    std::size_t length = Byte();
    length |= (std::size_t)Byte() << 8;
    if (length > left) length = left;
    std::string bytes((const char *)data, length);
    data += length;
    left -= length;
    return bytes;
  }
};

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "X:\" or "\\server\share\" with non-empty server and share; the device
// namespaces "\\.\" and "\\?\" are not a server.
bool IsAbsolute(const std::string &path) {
  if (path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == ':' &&
      path[2] == '\\')
    return true;
  if (path.compare(0, 2, "\\\\") != 0) return false;
  const std::size_t serverEnd = path.find('\\', 2);
  if (serverEnd == std::string::npos || serverEnd == 2) return false;
  const std::string server = path.substr(2, serverEnd - 2);
  if (server == "." || server == "?") return false;
  const std::size_t shareEnd = path.find('\\', serverEnd + 1);
  return shareEnd != std::string::npos && shareEnd != serverEnd + 1;
}

std::string UpToNul(const std::string &bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

Input Decode(const std::uint8_t *data, std::size_t size) {
  Reader in{data, size};
  Input input;
  input.type = in.Byte();
  const std::uint8_t flags = in.Byte();
  input.folderState[0] = (FolderState)(flags & 3);
  input.folderState[1] = (FolderState)((flags >> 2) & 3);
  input.valueMissing = (flags & 0x10) != 0;
  input.keyMissing = (flags & 0x20) != 0;
  input.value = in.Field();
  for (int i = 0; i < 2; ++i) {
    // The shell only ever reports absolute folder paths.
    std::string path = UpToNul(in.Field());
    input.folderPath[i] = IsAbsolute(path) ? path : "C:\\" + path;
  }
  while (!in.AtEnd()) {
    std::string name = in.Field();
    std::string value = in.Field();
    input.environment.emplace_back(std::move(name), std::move(value));
  }
  return input;
}

void Seed(const Input &input) {
  standin::Reset();
  if (!input.keyMissing) {
    standin::CreateKey(HKEY_LOCAL_MACHINE, KeyPath);
    if (!input.valueMissing)
      standin::SetValue(HKEY_LOCAL_MACHINE, KeyPath, ValueName, input.type,
                        input.value);
  }
  for (int i = 0; i < 2; ++i) {
    switch (input.folderState[i]) {
      case WithPath: standin::SetFolder(Folders[i], input.folderPath[i]); break;
      case Unresolvable: standin::SetFolderUnresolvable(Folders[i]); break;
      case WithoutPath: standin::SetFolderWithoutPath(Folders[i]); break;
      case Unset: break;
    }
  }
  for (const auto &variable : input.environment)
    standin::SetEnvironment(variable.first, variable.second);
}

// Through the stand-in's own expansion, so the harness holds no copy of the
// rule; needs the seeded environment.
std::string Expanded(const std::string &text) {
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) Fail("ExpandEnvironmentStringsA reported no size");
  std::string out(needed, '\0');
  if (ExpandEnvironmentStringsA(text.c_str(), &out[0], needed) != needed)
    Fail("ExpandEnvironmentStringsA changed its mind");
  out.resize(needed - 1);
  return out;
}

std::string Unquoted(const std::string &text) {
  if (text.empty() || text[0] != '"') return text;
  const std::size_t closing = text.find('"', 1);
  return closing == std::string::npos ? text
                                      : text.substr(1, closing - 1);
}

// The texts the value can mean as a path: the string up to its first NUL,
// that without one pair of quotes, and for REG_EXPAND_SZ the same after
// expansion. Empty when the value is no string at all.
std::vector<std::string> Readings(const Input &input) {
  std::vector<std::string> readings;
  if (input.keyMissing || input.valueMissing) return readings;
  if (input.type != REG_SZ && input.type != REG_EXPAND_SZ) return readings;
  const std::string text = UpToNul(input.value);
  readings.push_back(text);
  readings.push_back(Unquoted(text));
  if (input.type == REG_EXPAND_SZ) {
    const std::string expanded = Expanded(text);
    readings.push_back(expanded);
    readings.push_back(Unquoted(expanded));
  }
  return readings;
}

void CheckNothingHeld(const char *when) {
  if (standin::OpenKeyCount() != 0) Fail(when, "registry key left open");
  if (standin::LiveIdListCount() != 0) Fail(when, "item-ID list not freed");
  if (standin::MisuseCount() != 0) Fail(when, "stand-in call misused");
}

bool StartsWith(const std::string &text, const std::string &head) {
  return text.compare(0, head.size(), head) == 0;
}

bool EndsWith(const std::string &text, const std::string &tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// FindInstallDirectory alone, into a MAX_PATH buffer of 0xbd whose guard
// region behind is both poisoned for ASan (reads and writes trap at once) and
// compared afterwards. Returns whether an installation was found.
bool LookUp(const Input &input, std::string &prefix) {
  Seed(input);
  const std::vector<std::string> readings = Readings(input);
  char *buffer = new char[MAX_PATH + Guard];
  std::memset(buffer, 0xbd, MAX_PATH + Guard);
  ASAN_POISON_MEMORY_REGION(buffer + MAX_PATH, Guard);
  const bool found = FindInstallDirectory(buffer);
  ASAN_UNPOISON_MEMORY_REGION(buffer + MAX_PATH, Guard);
  for (std::size_t i = MAX_PATH; i < MAX_PATH + Guard; ++i)
    if ((unsigned char)buffer[i] != 0xbd)
      Fail("FindInstallDirectory wrote past MAX_PATH");
  const void *nul = std::memchr(buffer, '\0', MAX_PATH);
  if (found && nul == nullptr)
    Fail("found, but the prefix is not terminated within MAX_PATH");
  if (found) prefix.assign(buffer, (const char *)nul - buffer);
  delete[] buffer;
  CheckNothingHeld("after FindInstallDirectory:");

  bool mayBeFound = false;
  for (const std::string &reading : readings)
    if (IsAbsolute(reading)) mayBeFound = true;
  if (!found) return false;
  if (!mayBeFound)
    Fail("found an installation in a value that names no absolute path:",
         input.value);
  if (prefix.empty() || prefix.back() != '\\')
    Fail("prefix does not end in a backslash:", prefix);
  if (!IsAbsolute(prefix)) Fail("prefix is not absolute:", prefix);
  bool leading = false;
  for (const std::string &reading : readings)
    if (StartsWith(reading, prefix)) leading = true;
  if (!leading)
    Fail("prefix is not a leading part of the value as read:", prefix);
  return true;
}

void CheckRun(const Input &input, bool found, const std::string &prefix) {
  Seed(input);
  standin::ScriptAnswers({IDYES, IDYES, IDOK});
  LoadSystemDlls();  // binds shell32, as WinMain does first
  RunUninstall();
  CheckNothingHeld("after RunUninstall:");
  if (standin::UnansweredDialogs() != 0) Fail("more than three message boxes");

  const std::vector<std::string> &deleted = standin::DeleteAttempts();
  if (!found && !deleted.empty())
    Fail("deleted although no installation was found:", deleted.front());

  int nameDeletions[InstalledNameCount] = {};
  int shortcutDeletions[2] = {};
  for (const std::string &path : deleted) {
    if (path.size() > LongestPath) Fail("path longer than 259 chars:", path);
    if (!IsAbsolute(path)) Fail("path is not absolute:", path);
    bool known = false;
    for (int i = 0; i < InstalledNameCount && !known; ++i) {
      if (path == prefix + InstalledNames[i]) {
        ++nameDeletions[i];
        known = true;
      }
    }
    // Both folders may have the same path; credit the first one still open.
    for (int i = 0; i < 2 && !known; ++i) {
      if (input.folderState[i] == WithPath && shortcutDeletions[i] == 0 &&
          path == input.folderPath[i] + ShortcutName) {
        ++shortcutDeletions[i];
        known = true;
      }
    }
    if (!known) {
      if (EndsWith(path, ShortcutName))
        Fail("shortcut deleted outside the shell folders:", path);
      Fail("not an installed file directly in the found directory:", path);
    }
  }
  for (int i = 0; i < InstalledNameCount; ++i) {
    if (nameDeletions[i] > 1) Fail("installed file deleted twice:", InstalledNames[i]);
    // A found installation loses every file whose path can exist at all.
    const bool fits = prefix.size() + std::strlen(InstalledNames[i]) <= LongestPath;
    if (found && fits && nameDeletions[i] == 0)
      Fail("installed file left alone though its path fits:", prefix + InstalledNames[i]);
  }
  for (int i = 0; i < 2; ++i) {
    const bool fits = input.folderState[i] == WithPath &&
                      input.folderPath[i].size() + std::strlen(ShortcutName) <=
                          LongestPath;
    if (found && fits && shortcutDeletions[i] == 0)
      Fail("shortcut left alone though its path fits:",
           input.folderPath[i] + ShortcutName);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data,
                                      std::size_t size) {
  standin::Reset();
  const Input input = Decode(data, size);

  std::string prefix;
  const bool found = LookUp(input, prefix);
  CheckRun(input, found, prefix);

  // Leave nothing allocated between inputs, so libFuzzer's malloc/free
  // balance (its cue for a leak check) stays quiet.
  standin::Reset();
  return 0;
}
