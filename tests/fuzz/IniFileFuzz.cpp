// The INI reader on any bytes: reads stay within bounds, a save reads back the same values, and a
// value written is the value read.
#include "FuzzInput.h"
#include "IniFile.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace {

void require(bool condition, const char *what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

std::string trimmedName(const std::string &s) {
  const size_t first = s.find_first_not_of(" \t\r");
  return first == std::string::npos ? std::string() : s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The section and key names that the file's own lines suggest, so reads hit what is there.
std::vector<std::pair<std::string, std::string>> namesIn(const IniFile &file) {
  std::vector<std::pair<std::string, std::string>> names;
  std::string section;
  for (const std::string &line : file.lines()) {
    const std::string t = trimmedName(line);
    if (!t.empty() && t.front() == '[' && t.find(']') != std::string::npos)
      section = trimmedName(t.substr(1, t.find(']') - 1));
    else if (const size_t equals = t.find('='); equals != std::string::npos)
      names.emplace_back(section, trimmedName(t.substr(0, equals)));
    if (names.size() == 32)
      break;
  }
  return names;
}

// Letters and digits of the input, as a value that any writer must keep as it is.
std::string plainValue(const uint8_t *data, size_t size) {
  std::string value;
  for (size_t i = 0; i < size && value.size() < 64; ++i)
    if (std::isalnum(data[i]))
      value += static_cast<char>(data[i]);
  return value.empty() ? "v" : value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  IniFile file = IniFile::load(lyt::fuzz::writeInputFile(data, size));
  const auto names = namesIn(file);

  static const std::string saved = lyt::fuzz::scratchFile("saved.ini");
  require(file.save(saved), "a file in the scratch folder saves");
  const IniFile reloaded = IniFile::load(saved);
  for (const auto &[section, key] : names) {
    const std::string value = file.readString(section, key, "");
    require(value.size() <= IniFile::kMaxValueLength, "a value is at most the longest length");
    require(reloaded.readString(section, key, "") == value, "a saved file reads back the same strings");
    require(reloaded.readInteger(section, key, -7) == file.readInteger(section, key, -7),
            "a saved file reads back the same integers");
  }

  const std::string value = plainValue(data, size);
  file.writeString("FuzzSection", "FuzzKey", value);
  require(file.readString("FuzzSection", "FuzzKey", "") == value, "a written value reads back");
  for (const auto &[section, key] : names)
    if (strcasecmp(section.c_str(), "FuzzSection") != 0)
      require(file.readString(section, key, "") == reloaded.readString(section, key, ""),
              "a write leaves other sections alone");
  return 0;
}
