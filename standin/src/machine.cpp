#include "machine.h"

#include <cctype>
#include <cstdio>

#include "trace_format.h"

namespace standin {

Machine &TheMachine() {
  static Machine machine;
  return machine;
}

namespace {
thread_local int platformDepth = 0;
}

PlatformCall::PlatformCall() { ++platformDepth; }
PlatformCall::~PlatformCall() { --platformDepth; }
bool InPlatformCall() { return platformDepth > 0; }

void Record(const std::string &line) { TheMachine().journal.push_back(line); }

std::string Lower(const std::string &text) {
  std::string lower = text;
  for (char &c : lower) c = (char)std::tolower((unsigned char)c);
  return lower;
}

std::string KeyIdentity(HKEY root, const char *subKey) {
  std::string base;
  if (root == HKEY_CLASSES_ROOT || root == HKEY_CURRENT_USER ||
      root == HKEY_LOCAL_MACHINE) {
    base = RootName(root);
  } else {
    auto open = TheMachine().openKeys.find(root);
    if (open == TheMachine().openKeys.end()) return std::string();
    base = open->second;
  }
  if (subKey == nullptr || *subKey == '\0') return base;
  return base + "\\" + Lower(subKey);
}

std::string Quoted(const char *text) {
  if (text == nullptr) return "NULL";
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const unsigned char *p = (const unsigned char *)text; *p; ++p) {
    switch (*p) {
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (*p < 0x20 || *p >= 0x7f) {
          out += "\\x";
          out += hex[*p >> 4];
          out += hex[*p & 0xf];
        } else {
          out += (char)*p;
        }
    }
  }
  return out + "\"";
}

std::string RootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  return "key";
}

std::string FolderName(int csidl) {
  if (csidl == CSIDL_PROGRAMS) return "CSIDL_PROGRAMS";
  if (csidl == CSIDL_DESKTOPDIRECTORY) return "CSIDL_DESKTOPDIRECTORY";
  return std::to_string(csidl);
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace standin
