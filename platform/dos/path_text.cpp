#include "platform/dos/path_text.h"

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string WithBackslashes(std::string_view path) {
  std::string dos(path);
  for (char& c : dos)
    if (c == '/')
      c = '\\';
  return dos;
}

bool StartsAtDriveRoot(std::string_view path) {
  return path.size() >= DriveRootLength && IsDriveLetter(path[0]) && path[1] == ':' &&
         path[2] == '\\';
}

bool IsDriveRootPath(std::string_view path) {
  return path.size() == DriveRootLength && StartsAtDriveRoot(path);
}

bool IsOnDrive(std::string_view full_path) {
  return full_path.size() >= DriveRootLength && full_path[1] == ':';
}

bool IsBelowRoot(std::string_view full_path) {
  return full_path.size() > DriveRootLength;
}

void DropTrailingBackslash(std::string& full_path) {
  if (IsBelowRoot(full_path) && full_path.back() == '\\')
    full_path.pop_back();
}

std::string_view ParentOf(std::string_view full_path) {
  std::size_t slash = full_path.rfind('\\');
  return full_path.substr(0, slash < DriveRootLength ? DriveRootLength : slash);
}

std::string_view LastComponent(std::string_view path) {
  return path.substr(path.rfind('\\') + 1);
}

std::vector<std::string_view> PathComponents(std::string_view path, char separator) {
  std::vector<std::string_view> components;
  while (!path.empty()) {
    std::size_t at = path.find(separator);
    std::string_view component = path.substr(0, at);
    path = at == std::string_view::npos ? std::string_view{} : path.substr(at + 1);
    if (!component.empty())
      components.push_back(component);
  }
  return components;
}
