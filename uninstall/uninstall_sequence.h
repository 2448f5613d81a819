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

// Runs one uninstallation. Removal results are deliberately not examined:
// the user is told only whether the product was found.
void RunUninstall();

#endif
