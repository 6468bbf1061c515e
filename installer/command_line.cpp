#include "installer/command_line.h"

#include "installer/profile.h"
#include "support/cp1251.h"
#include "support/path_text.h"

namespace installer {

using support::Cp1251;

namespace {

enum class SwitchId {
  Silent,
  VerySilent,
  SuppressMsgBoxes,
  NoIcons,
  NoRun,
  NoRestart,
  AllUsers,
  CurrentUser,
  NoEffect,
  Help,
  Dir,
  Components,
  Log
};

// How a switch takes a value after "=".
enum class Value { None, Required, Optional };

struct SwitchEntry {
  const char* name;  // upper case, without the leading "/" or "-"
  SwitchId id;
  Value value;
};

constexpr SwitchEntry kSwitches[] = {
    {"SILENT", SwitchId::Silent, Value::None},
    {"VERYSILENT", SwitchId::VerySilent, Value::None},
    {"SUPPRESSMSGBOXES", SwitchId::SuppressMsgBoxes, Value::None},
    {"NOICONS", SwitchId::NoIcons, Value::None},
    {"NORUN", SwitchId::NoRun, Value::None},
    {"NORESTART", SwitchId::NoRestart, Value::None},
    {"ALLUSERS", SwitchId::AllUsers, Value::None},
    {"CURRENTUSER", SwitchId::CurrentUser, Value::None},
    // Switches of other installers that administrators copy into their
    // command lines; nothing here asks what they would change.
    {"SP-", SwitchId::NoEffect, Value::None},
    {"NOCANCEL", SwitchId::NoEffect, Value::None},
    {"NOCLOSEAPPLICATIONS", SwitchId::NoEffect, Value::None},
    {"?", SwitchId::Help, Value::None},
    {"HELP", SwitchId::Help, Value::None},
    {"DIR", SwitchId::Dir, Value::Required},
    {"COMPONENTS", SwitchId::Components, Value::Required},
    {"LOG", SwitchId::Log, Value::Optional},
};

// A Windows path as a switch may give it: "/" becomes "\". Returns why it is
// malformed (ANSI), or an empty text: characters that no Windows path holds,
// a colon anywhere but after a drive letter; with absolute set, a path that
// does not start with a drive letter and a colon or name a network share
// ("\\server\share").
std::string NormalizePath(std::string& path, bool absolute) {
  if (path.empty()) return Cp1251("путь не указан");
  for (char& c : path) {
    if (c == '/') c = '\\';
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < ' ' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
      return Cp1251("недопустимый символ");
  }
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (path.find(':', drive ? 2 : 0) != std::string::npos) return Cp1251("недопустимый символ");
  if (!absolute) return "";
  const std::string relative = Cp1251("нужен полный путь");
  if (drive) return path.size() == 2 || path[2] == '\\' ? "" : relative;
  const size_t share =
      path.size() > 2 && path.compare(0, 2, "\\\\") == 0 ? path.find('\\', 2) : std::string::npos;
  return share != std::string::npos && share > 2 && share + 1 < path.size() ? "" : relative;
}

// A name that Windows keeps for a device, also with an extension and with
// blanks before it ("CON", "con.txt", "Con .log").
bool ReservedName(const std::string& component) {
  static const char* const kDevices[] = {
      "CON",  "PRN",  "AUX",  "NUL",  "CONIN$", "CONOUT$", "CLOCK$", "COM1", "COM2",
      "COM3", "COM4", "COM5", "COM6", "COM7",   "COM8",    "COM9",   "LPT1", "LPT2",
      "LPT3", "LPT4", "LPT5", "LPT6", "LPT7",   "LPT8",    "LPT9"};
  std::string base = component.substr(0, component.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  base = UpperAscii(base);
  for (const char* device : kDevices) {
    if (base == device) return true;
  }
  return false;
}

// Why an install folder that NormalizePath took cannot hold the product, or
// an empty text: the name of each folder on the way must be one that
// Windows keeps as given, and the members must fit below it.
std::string InstallDirProblem(const std::string& path) {
  if (path.size() > kMaxInstallDirLength) {
    return Cp1251("путь длиннее ") + std::to_string(kMaxInstallDirLength) + Cp1251(" символов");
  }
  // The first two characters are the drive ("C:") or the "\\" of a network
  // path; the names follow.
  size_t start = 2;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;  // "C:\" and a final "\"
    const std::string quoted = "\"" + name + "\"";
    if (name == "." || name == "..") return Cp1251("путь содержит ") + quoted;
    if (ReservedName(name)) return Cp1251("имя ") + quoted + Cp1251(" занято устройством");
    if (name.back() == ' ' || name.back() == '.')
      return Cp1251("имя ") + quoted + Cp1251(" оканчивается пробелом или точкой");
  }
  return "";
}

std::vector<std::string> ComponentList(const std::string& value) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    const std::string name = support::TrimBlanks(value.substr(start, comma - start));
    if (!name.empty()) names.push_back(name);
    start = comma + 1;
  }
  return names;
}

// Sets what a switch without a value stands for.
void SetFlag(SwitchId id, SetupSwitches& s) {
  switch (id) {
    case SwitchId::VerySilent:
      s.verySilent = true;
      s.silent = true;
      break;
    case SwitchId::Silent:
      s.silent = true;
      break;
    case SwitchId::SuppressMsgBoxes:
      s.suppressMsgBoxes = true;
      break;
    case SwitchId::NoIcons:
      s.noIcons = true;
      break;
    case SwitchId::NoRun:
      s.noRun = true;
      break;
    case SwitchId::NoRestart:
      s.noRestart = true;
      break;
    case SwitchId::AllUsers:
      s.userScope = UserScope::AllUsers;
      break;
    case SwitchId::CurrentUser:
      s.userScope = UserScope::CurrentUser;
      break;
    case SwitchId::Log:
      s.logInTemp = true;
      break;
    case SwitchId::NoEffect:
      break;
    default:
      s.help = true;
      break;
  }
}

// Applies one argument; returns an empty text or the error naming it.
// seen holds the switches given before it.
std::string ApplyArgument(const std::string& arg, SetupSwitches& s,
                          std::vector<const SwitchEntry*>& seen) {
  const std::string unknown = Cp1251("Неизвестный параметр командной строки: ") + arg;
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return unknown;
  const size_t eq = arg.find('=');
  const std::string name = UpperAscii(arg.substr(1, eq == std::string::npos ? arg.npos : eq - 1));
  const SwitchEntry* entry = nullptr;
  for (const SwitchEntry& candidate : kSwitches) {
    if (name == candidate.name) entry = &candidate;
  }
  if (!entry) return unknown;
  const std::string shown = std::string("/") + entry->name;
  for (const SwitchEntry* earlier : seen) {
    if (earlier == entry) return Cp1251("Параметр ") + shown + Cp1251(" указан дважды: ") + arg;
  }
  seen.push_back(entry);
  if (entry->id == SwitchId::AllUsers || entry->id == SwitchId::CurrentUser) {
    if (s.userScope != UserScope::Unset)
      return Cp1251("Параметры /ALLUSERS и /CURRENTUSER несовместимы: ") + arg;
  }
  if (entry->value == Value::None && eq != std::string::npos)
    return Cp1251("Параметр ") + shown + Cp1251(" не имеет значения: ") + arg;
  if (eq == std::string::npos) {
    if (entry->value == Value::Required)
      return Cp1251("Для параметра ") + shown + Cp1251(" не указано значение: ") + arg;
    SetFlag(entry->id, s);
    s.understood.push_back(shown + (entry->id == SwitchId::NoEffect ? " (no effect)" : ""));
    return "";
  }
  std::string value = arg.substr(eq + 1);
  const std::string badPath = Cp1251("Неверный путь в параметре ") + shown + ": " + arg + " (";
  switch (entry->id) {
    case SwitchId::Dir: {
      std::string problem = NormalizePath(value, true);
      if (problem.empty()) problem = InstallDirProblem(value);
      if (!problem.empty()) return badPath + problem + ")";
      s.dir = value;
      break;
    }
    case SwitchId::Log: {
      const std::string problem = NormalizePath(value, false);
      if (!problem.empty()) return badPath + problem + ")";
      s.logFile = value;
      break;
    }
    default: {
      s.components = ComponentList(value);
      value.clear();
      for (const std::string& c : *s.components) value += (value.empty() ? "" : ",") + c;
      break;
    }
  }
  s.understood.push_back(shown + "=" + value);
  return "";
}

}  // namespace

bool SplitCommandLine(const std::string& line, std::vector<std::string>& args) {
  args.clear();
  std::string current;
  bool inArgument = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inArgument) args.push_back(current);
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
  }
  if (inArgument) args.push_back(current);
  return !quoted;
}

bool ParseSwitches(const std::string& commandLine, SetupSwitches& switches, std::string& error) {
  switches = SetupSwitches();
  error.clear();
  std::vector<std::string> args;
  if (!SplitCommandLine(commandLine, args)) {
    error = Cp1251("Не закрыта кавычка в параметре: ") + (args.empty() ? "" : args.back());
    args.pop_back();
  }
  std::vector<const SwitchEntry*> seen;
  for (const std::string& arg : args) {
    const std::string problem = ApplyArgument(arg, switches, seen);
    if (error.empty()) error = problem;
  }
  return error.empty();
}

std::string SwitchHelpText() {
  return Cp1251(
      "Параметры командной строки программы установки:\r\n"
      "\r\n"
      "/SILENT - установка без главного окна: копирование начинается сразу, "
      "в каталог из /DIR, из файла настроек или найденный автоматически; "
      "видно только окно копирования.\r\n"
      "/VERYSILENT - то же без каких-либо окон.\r\n"
      "/SUPPRESSMSGBOXES - вместе с /SILENT или /VERYSILENT: сообщения не ждут ответа. "
      "Занятый файл обновляется повторно в течение нескольких секунд, затем заменяется "
      "при следующей перезагрузке; на вопросы дается ответ \"Да\"; ошибки записываются "
      "в журнал.\r\n"
      "/DIR=\"каталог\" - каталог установки.\r\n"
      "/NOICONS - не создавать ярлыки в меню \"Пуск\" и на рабочем столе.\r\n"
      "/NORUN - не запускать программу настройки после установки.\r\n"
      "/NORESTART - не перезагружать компьютер (программа установки его не перезагружает).\r\n"
      "/ALLUSERS, /CURRENTUSER - ярлыки для всех пользователей или только для текущего "
      "(без них: для всех при запуске от имени системы, иначе для текущего).\r\n"
      "/COMPONENTS=\"a,b\" - устанавливаемые компоненты (как в окне выбора компонентов).\r\n"
      "/LOG=\"файл\" - записать журнал установки (UTF-8); /LOG без имени файла - "
      "в новый файл в каталоге временных файлов.\r\n"
      "/SP-, /NOCANCEL, /NOCLOSEAPPLICATIONS - принимаются и ничего не меняют.\r\n"
      "/? или /HELP - этот список.\r\n"
      "\r\n"
      "Коды завершения: 0 - установка выполнена; 1 - установка не начата (неверные "
      "параметры, нет архива); 2 - отменена пользователем; 3 - каталог установки не "
      "принят; 4 - ошибка, установка отменена; 5 - установлено с ошибками; "
      "6 - программа установки уже запущена; 7 - установка отменена не полностью; "
      "3010 - установлено, нужна перезагрузка.");
}

}  // namespace installer
