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
  Help,
  Dir,
  Components,
  Log
};

struct SwitchEntry {
  const char* name;  // upper case, without the leading "/" or "-"
  SwitchId id;
  bool takesValue;
};

constexpr SwitchEntry kSwitches[] = {
    {"SILENT", SwitchId::Silent, false},
    {"VERYSILENT", SwitchId::VerySilent, false},
    {"SUPPRESSMSGBOXES", SwitchId::SuppressMsgBoxes, false},
    {"NOICONS", SwitchId::NoIcons, false},
    {"NORUN", SwitchId::NoRun, false},
    {"?", SwitchId::Help, false},
    {"HELP", SwitchId::Help, false},
    {"DIR", SwitchId::Dir, true},
    {"COMPONENTS", SwitchId::Components, true},
    {"LOG", SwitchId::Log, true},
};

// A Windows path as a switch may give it: "/" becomes "\"; characters that
// no Windows path holds, and a colon anywhere but after a drive letter, make
// it malformed. With absolute set, it must start with a drive letter and a
// colon or be a network path ("\\server\share").
bool NormalizePath(std::string& path, bool absolute) {
  if (path.empty()) return false;
  for (char& c : path) {
    if (c == '/') c = '\\';
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < ' ' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
      return false;
  }
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (path.find(':', drive ? 2 : 0) != std::string::npos) return false;
  if (!absolute) return true;
  if (drive) return path.size() == 2 || path[2] == '\\';
  const size_t share =
      path.size() > 2 && path.compare(0, 2, "\\\\") == 0 ? path.find('\\', 2) : std::string::npos;
  return share != std::string::npos && share > 2 && share + 1 < path.size();
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

// Applies one argument; returns an empty text or the error naming it.
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
    default:
      s.help = true;
      break;
  }
}

std::string ApplyArgument(const std::string& arg, SetupSwitches& s) {
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
  if (!entry->takesValue) {
    if (eq != std::string::npos)
      return Cp1251("Параметр ") + shown + Cp1251(" не имеет значения: ") + arg;
    SetFlag(entry->id, s);
    s.understood.push_back(shown);
    return "";
  }
  if (eq == std::string::npos)
    return Cp1251("Для параметра ") + shown + Cp1251(" не указано значение: ") + arg;
  std::string value = arg.substr(eq + 1);
  const std::string badPath = Cp1251("Неверный путь в параметре ") + shown + ": " + arg;
  switch (entry->id) {
    case SwitchId::Dir:
      if (!NormalizePath(value, true)) return badPath;
      s.dir = value;
      break;
    case SwitchId::Log:
      if (!NormalizePath(value, false)) return badPath;
      s.logFile = value;
      break;
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
  for (const std::string& arg : args) {
    const std::string problem = ApplyArgument(arg, switches);
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
      "Занятый файл обновляется повторно в течение нескольких секунд, затем пропускается "
      "(\"Далее\"); на вопросы дается ответ \"Да\"; ошибки записываются в журнал.\r\n"
      "/DIR=\"каталог\" - каталог установки.\r\n"
      "/NOICONS - не создавать ярлыки в меню \"Пуск\" и на рабочем столе.\r\n"
      "/NORUN - не запускать программу настройки после установки.\r\n"
      "/COMPONENTS=\"a,b\" - устанавливаемые компоненты (как в окне выбора компонентов).\r\n"
      "/LOG=\"файл\" - записать журнал установки (UTF-8).\r\n"
      "/? или /HELP - этот список.\r\n"
      "\r\n"
      "Коды завершения: 0 - установка выполнена; 1 - установка не начата (неверные "
      "параметры, нет архива); 2 - отменена пользователем; 3 - каталог установки не "
      "принят; 4 - ошибка, установка отменена; 5 - установлено с ошибками; "
      "6 - программа установки уже запущена.");
}

}  // namespace installer
