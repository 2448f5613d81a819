// The test side: seeding and inspecting the simulated machine.
#include "machine.h"
#include "trace_format.h"

namespace standin {

void Reset() {
  Machine &machine = TheMachine();
  for (auto &live : machine.idLists) delete[] (char *)live.first;
  machine = Machine();
}

void CreateKey(HKEY root, const std::string &path) {
  // Parents first, as the registry has no key without its parent.
  std::size_t end = 0;
  do {
    end = path.find('\\', end + 1);
    TheMachine().keys[KeyIdentity(root, path.substr(0, end).c_str())];
  } while (end != std::string::npos);
}

void SetValue(HKEY root, const std::string &path, const std::string &name,
              DWORD type, const std::string &bytes) {
  CreateKey(root, path);
  TheMachine().keys[KeyIdentity(root, path.c_str())].values[Lower(name)] = {
      type, bytes};
}

void SetString(HKEY root, const std::string &path, const std::string &name,
               const std::string &text) {
  SetValue(root, path, name, REG_SZ, text + std::string(1, '\0'));
}

void RemoveValue(HKEY root, const std::string &path, const std::string &name) {
  TheMachine().keys[KeyIdentity(root, path.c_str())].values.erase(Lower(name));
}

bool KeyExists(HKEY root, const std::string &path) {
  return TheMachine().keys.count(KeyIdentity(root, path.c_str())) != 0;
}

bool ValueExists(HKEY root, const std::string &path, const std::string &name) {
  auto key = TheMachine().keys.find(KeyIdentity(root, path.c_str()));
  return key != TheMachine().keys.end() &&
         key->second.values.count(Lower(name)) != 0;
}

void AddFile(const std::string &path) {
  const std::string name = Lower(path);
  TheMachine().files.insert(name);
  for (std::size_t end = name.find('\\'); end != std::string::npos;
       end = name.find('\\', end + 1))
    TheMachine().directories.insert(name.substr(0, end));
}

void LockFile(const std::string &path) {
  TheMachine().undeletableFiles[Lower(path)] = ERROR_SHARING_VIOLATION;
}

void ProtectFile(const std::string &path) {
  TheMachine().undeletableFiles[Lower(path)] = ERROR_ACCESS_DENIED;
}

void ReleaseFile(const std::string &path) {
  TheMachine().undeletableFiles.erase(Lower(path));
}

bool FileExists(const std::string &path) {
  return TheMachine().files.count(Lower(path)) != 0;
}

void SetFolder(int csidl, const std::string &path) {
  TheMachine().folders[csidl] = {FolderWithPath, path};
  TheMachine().directories.insert(Lower(path));
}

void SetFolderUnresolvable(int csidl) {
  TheMachine().folders[csidl] = {FolderUnresolvable, ""};
}

void SetFolderWithoutPath(int csidl) {
  TheMachine().folders[csidl] = {FolderWithoutPath, ""};
}

void SetEnvironment(const std::string &name, const std::string &value) {
  TheMachine().environment[Lower(name)] = value;
}

void ScriptAnswers(const std::vector<int> &answers) {
  TheMachine().answers = answers;
  TheMachine().nextAnswer = 0;
}

const std::vector<Dialog> &Dialogs() { return TheMachine().dialogs; }
int UnansweredDialogs() { return TheMachine().unansweredDialogs; }

const std::vector<std::string> &Journal() { return TheMachine().journal; }

std::string JournalText() {
  std::string text;
  for (const std::string &line : TheMachine().journal) text += line + "\n";
  return text;
}

const std::vector<std::string> &DeleteAttempts() {
  return TheMachine().deleteAttempts;
}

int OpenKeyCount() { return (int)TheMachine().openKeys.size(); }
int LiveIdListCount() { return (int)TheMachine().idLists.size(); }
int MisuseCount() { return TheMachine().misuse; }

}  // namespace standin
