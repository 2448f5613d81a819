#include "uninstall_sequence.h"

#include "install_paths.h"
#include "manifest.h"

// Windows-1252 texts; "\xf6" is the o-umlaut ("\xfc" u-umlaut, "\xdf" sharp
// s), split from the next literal so that following hex digits ("\xf6" "c")
// are not taken into the escape.
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
const Message MsgPartlyRemoved = {
    "Einige Dateien von TAMbirox 2000 konnten nicht entfernt werden, weil sie "
    "noch verwendet werden oder gesch\xfc" "tzt sind. Schlie\xdf" "en Sie "
    "TAMbirox 2000 und starten Sie die Deinstallation erneut.",
    MB_ICONWARNING,
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

  int itemsLeft = 0;
  for (int i = 0; i < InstalledFileCount; ++i)
    if (!DeleteInstallFile(prefix, InstalledFiles[i])) ++itemsLeft;

  char shortcut[MAX_PATH];
  for (int i = 0; i < ShortcutFolderCount; ++i) {
    if (BuildShortcutPath(ShortcutFolders[i], shortcut) &&
        !RemoveFile(shortcut))
      ++itemsLeft;
  }

  for (int i = 0; i < FileTypeKeyCount; ++i)
    RegDeleteKeyA(HKEY_CLASSES_ROOT, FileTypeKeys[i]);

  if (AskedYes(MsgAskSettings)) {
    for (int i = 0; i < SettingsKeyCount; ++i)
      RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeys[i]);
  }

  // A file left behind (the program still open, say) keeps the product in
  // Programs and Features: a second run can then finish the job.
  if (itemsLeft > 0) {
    Tell(MsgPartlyRemoved);
    return;
  }
  // Last, so that a run cut short can be repeated: the registration still
  // leads to whatever is left.
  RegDeleteKeyA(UninstallKey.root, UninstallKey.keyPath);

  Tell(MsgRemoved);
}
