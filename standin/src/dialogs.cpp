// user32's MessageBoxA: records what would be shown and answers from the
// test's script.
#include "machine.h"
#include "trace_format.h"

using namespace standin;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT style) {
  PlatformCall inside;
  Machine &machine = TheMachine();
  machine.dialogs.push_back(
      {owner, text ? text : "", caption ? caption : "", style});
  int answer = 0;
  if (machine.nextAnswer < machine.answers.size())
    answer = machine.answers[machine.nextAnswer++];
  else
    ++machine.unansweredDialogs;
  Record("MessageBoxA(" + std::string(owner ? "hwnd" : "NULL") + ", " +
         Quoted(text) + ", " + Quoted(caption) + ", " + Hex(style) + ") -> " +
         std::to_string(answer));
  return answer;
}
