#include "uninstall_sequence.h"

#include "install_paths.h"
#include "manifest.h"

// Windows-1252 texts; "\xf6" is the o-umlaut, split from the next literal so
// that following hex digits ("\xf6" "c") are not taken into the escape.
const char MessageCaption[] = "Uninstall";

const Message MsgConfirmRemoval = {
    "M\xf6" "chten Sie TAMbirox 2000 wirklich von diesem PC entfernen?",
    MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3,
};
const Message MsgNotFound = {
    "Es konnte keine TAMbirox 2000 Installation gefunden werden.",
    MB_ICONWARNING,
};
const Message MsgAskSettings = {
    "M\xf6" "chten Sie auch die Programm-Einstellungen aus der Registry l\xf6"
    "schen?",
    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,
};
const Message MsgRemoved = {
    "TAMbirox 2000 wurde erfolgreich entfernt.",
    MB_ICONINFORMATION,
};

namespace {

// Only an explicit Yes counts: No, Cancel, Esc and closing the box all decline.
bool AskedYes(const Message &question) {
  return MessageBoxA(NULL, question.text, MessageCaption, question.style) ==
         IDYES;
}

void Tell(const Message &message) {
  MessageBoxA(NULL, message.text, MessageCaption, message.style);
}

}  // namespace

void RunUninstall() {
  if (!AskedYes(MsgConfirmRemoval)) return;

  char prefix[MAX_PATH];
  if (!FindInstallDirectory(prefix)) {
    Tell(MsgNotFound);
    return;
  }

  for (int i = 0; i < InstalledFileCount; ++i)
    DeleteInstallFile(prefix, InstalledFiles[i]);

  char shortcut[MAX_PATH];
  for (int i = 0; i < ShortcutFolderCount; ++i) {
    if (BuildShortcutPath(ShortcutFolders[i], shortcut)) DeleteFileA(shortcut);
  }

  for (int i = 0; i < FileTypeKeyCount; ++i)
    RegDeleteKeyA(HKEY_CLASSES_ROOT, FileTypeKeys[i]);

  if (AskedYes(MsgAskSettings)) {
    for (int i = 0; i < SettingsKeyCount; ++i)
      RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeys[i]);
  }

  // Last, so that a run cut short can be repeated: the registration still
  // leads to whatever is left.
  RegDeleteKeyA(UninstallKey.root, UninstallKey.keyPath);

  Tell(MsgRemoved);
}
