// The whole run: questions, removals in their fixed order, final report.
#ifndef UNINSTALL_UNINSTALL_SEQUENCE_H
#define UNINSTALL_UNINSTALL_SEQUENCE_H

#include "win32.h"

struct Message {
  const char *text;
  UINT style;
};

extern const char MessageCaption[];
extern const Message MsgConfirmRemoval;
extern const Message MsgNotFound;
extern const Message MsgAskSettings;
extern const Message MsgRemoved;
extern const Message MsgPartlyRemoved;

// Runs one uninstallation. Every removal is tried once. A file or shortcut
// that stays (in use, protected) keeps the uninstall registration, so that
// the user can run this again, and the last box says so; registry keys that
// stay are not reported.
void RunUninstall();

#endif
