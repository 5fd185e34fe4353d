// Reading and writing INI lines with the profile-file rules.
#include "IniFile.h"

#include "FileReplacement.h"
#include "Utf16Text.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string trimmed(const std::string &s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos)
    return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool sameName(const std::string &a, const std::string &b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(a[i]) != lower(b[i]))
      return false;
  }
  return true;
}

// "[name]" gives name.
bool sectionName(const std::string &line, std::string &name) {
  const std::string t = trimmed(line);
  if (t.size() < 2 || t.front() != '[')
    return false;
  const size_t close = t.find(']');
  if (close == std::string::npos)
    return false;
  name = trimmed(t.substr(1, close - 1));
  return true;
}

bool keyValue(const std::string &line, std::string &key, std::string &value) {
  const std::string t = trimmed(line);
  if (t.empty() || t[0] == ';')
    return false;
  const size_t equals = t.find('=');
  if (equals == std::string::npos)
    return false;
  key = trimmed(t.substr(0, equals));
  value = trimmed(t.substr(equals + 1));
  return true;
}

bool hasLineBreak(const std::string &value) {
  return value.find_first_of("\r\n") != std::string::npos;
}

// A value that begins or ends with a blank or a quote goes between double quotes, which the reader
// takes off again, so it reads back byte for byte.
std::string quotedIfNeeded(const std::string &value) {
  const auto loose = [](char c) { return c == ' ' || c == '\t' || c == '"' || c == '\''; };
  if (!value.empty() && (loose(value.front()) || loose(value.back())))
    return '"' + value + '"';
  return value;
}

// The length of the byte-order mark that `line` begins with, UTF-8 or UTF-16, or 0. A UTF-16 mark
// left after a UTF-8 one is dropped too: kept, it would begin the saved file and make it read as
// UTF-16 the next time.
size_t byteOrderMarkLength(const std::string &line) {
  if (line.rfind("\xEF\xBB\xBF", 0) == 0)
    return 3;
  if (line.rfind("\xFE\xFF", 0) == 0 || line.rfind("\xFF\xFE", 0) == 0)
    return 2;
  return 0;
}

} // namespace

IniFile IniFile::load(const std::string &path) {
  IniFile file;
  std::ifstream raw(path, std::ios::binary);
  std::stringstream bytes;
  bytes << raw.rdbuf();
  std::istringstream in(utf8FromUtf16WithMark(bytes.str()));
  std::string text;
  while (std::getline(in, text)) {
    if (!text.empty() && text.back() == '\r')
      text.pop_back();
    // A lone CR ends a line too, so that no value read holds a line break (none is ever written).
    for (size_t start = 0;;) {
      const size_t end = text.find('\r', start);
      std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
      for (size_t mark; file.lines_.empty() && (mark = byteOrderMarkLength(line)) > 0;)
        line.erase(0, mark); // marks written twice over by careless editors as well
      file.lines_.push_back(line);
      if (end == std::string::npos)
        break;
      start = end + 1;
    }
  }
  return file;
}

IniFile::Found IniFile::find(const std::string &section, const std::string &key) const {
  Found found;
  bool inside = false;
  for (long i = 0; i < static_cast<long>(lines_.size()); ++i) {
    std::string name, k, v;
    if (sectionName(lines_[i], name)) {
      if (inside)
        break; // a section that repeats later is not looked at, as with the profile functions
      inside = sameName(name, section);
      if (inside)
        found.sectionLine = found.lastLine = i;
      continue;
    }
    if (!inside)
      continue;
    if (!trimmed(lines_[i]).empty())
      found.lastLine = i;
    if (found.keyLine < 0 && keyValue(lines_[i], k, v) && sameName(k, key))
      found.keyLine = i;
  }
  return found;
}

std::string IniFile::readString(const std::string &section, const std::string &key,
                                const std::string &fallback) const {
  const Found found = find(section, key);
  if (found.keyLine < 0)
    return fallback;
  std::string k, value;
  keyValue(lines_[found.keyLine], k, value);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return value.substr(0, kMaxValueLength);
}

int64_t IniFile::readInteger(const std::string &section, const std::string &key, int64_t fallback) const {
  const std::string text = readString(section, key, {});
  if (text.empty())
    return fallback;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char *start = text.c_str() + (hex ? 2 : 0);
  char *end = nullptr;
  errno = 0;
  const long long value = std::strtoll(start, &end, hex ? 16 : 10);
  if (end == start || *end != '\0' || errno == ERANGE)
    return fallback;
  // Hexadecimal may spell the 32 bits unsigned; anything wider is not a value of this file.
  if (value < INT32_MIN || value > (hex ? int64_t{UINT32_MAX} : int64_t{INT32_MAX}))
    return fallback;
  return value;
}

bool IniFile::readBool(const std::string &section, const std::string &key, bool fallback) const {
  return readInteger(section, key, fallback ? 1 : 0) != 0;
}

bool IniFile::writeString(const std::string &section, const std::string &key, const std::string &value) {
  if (hasLineBreak(value))
    return false;
  const std::string line = key + "=" + quotedIfNeeded(value);
  const Found found = find(section, key);
  if (found.keyLine >= 0)
    lines_[found.keyLine] = line;
  else if (found.sectionLine >= 0)
    lines_.insert(lines_.begin() + found.lastLine + 1, line);
  else {
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
  }
  return true;
}

void IniFile::writeInteger(const std::string &section, const std::string &key, int64_t value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(const std::string &section, const std::string &key, bool value) {
  writeString(section, key, value ? "1" : "0");
}

void IniFile::removeKey(const std::string &section, const std::string &key) {
  const Found found = find(section, key);
  if (found.keyLine >= 0)
    lines_.erase(lines_.begin() + found.keyLine);
}

bool IniFile::save(const std::string &path) const {
  std::string text;
  for (const std::string &line : lines_)
    text += line + '\n';
  return replaceFile(path, text);
}
