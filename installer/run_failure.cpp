#include "installer/run_failure.h"

#include "support/cp1251.h"

namespace installer {

namespace {

ERunFailure Failure(const char* what, const std::string& path, const platform::FileError& error) {
  std::string text = support::Cp1251(what) + " \"" + path + "\".\r\n";
  if (!error.text.empty()) text += error.text + ".\r\n";
  text += support::Cp1251("Продолжение установки невозможно.");
  return ERunFailure(error.diskFull ? fkDiskFull : fkFileSystem, text);
}

}  // namespace

ERunFailure WriteFailure(const std::string& path, const platform::FileError& error) {
  return Failure("Ошибка при записи файла", path, error);
}

ERunFailure ReadFailure(const std::string& path, const platform::FileError& error) {
  return Failure("Ошибка при чтении файла", path, error);
}

ERunFailure CreateFileFailure(const std::string& path, const platform::FileError& error) {
  return Failure("Невозможно создать файл", path, error);
}

ERunFailure CreateFolderFailure(const std::string& path, const platform::FileError& error) {
  return Failure("Невозможно создать каталог", path, error);
}

}  // namespace installer
