// An INI file held in memory: read with defaults, written in place, saved atomically.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Section and key names match without regard to ASCII case. Writing replaces a key's value in
// place, appends a missing key to the end of its section and a missing section to the end of the
// file; every other line (comments, unknown keys and sections, blank lines) is kept as it was.
// Values are bytes: the file holds whatever the program wrote, paths included.
class IniFile {
public:
  static constexpr size_t kMaxValueLength = 2047;

  IniFile() = default;
  // Reads the file, UTF-8 or UTF-16 with its byte-order mark; a missing or unreadable file is an
  // empty one. A save writes UTF-8.
  static IniFile load(const std::string &path);

  // The value, at most kMaxValueLength bytes, or `fallback` when the key is missing. One pair of
  // quotes around the value is taken off. A byte-order mark at the file's start is ignored.
  std::string readString(const std::string &section, const std::string &key,
                         const std::string &fallback) const;
  // Decimal with an optional sign, or hexadecimal after "0x"; `fallback` when missing, unparsable,
  // followed by anything else, or beyond 32 bits (signed; unsigned for hexadecimal).
  int64_t readInteger(const std::string &section, const std::string &key, int64_t fallback) const;
  bool readBool(const std::string &section, const std::string &key, bool fallback) const;

  // A value that holds a line break is not written (false): it would make lines of its own.
  bool writeString(const std::string &section, const std::string &key, const std::string &value);
  void writeInteger(const std::string &section, const std::string &key, int64_t value);
  void writeBool(const std::string &section, const std::string &key, bool value);
  // Takes the key's line out; a missing key leaves the file as it is.
  void removeKey(const std::string &section, const std::string &key);

  // Writes a file beside `path` and renames it over `path`, so the old file stays whole when
  // anything fails; a link is followed to its target, and a read-only file is left as it is.
  // False when the file could not be written.
  bool save(const std::string &path) const;
  const std::vector<std::string> &lines() const { return lines_; }

private:
  struct Found {
    long sectionLine = -1; // the "[section]" line, -1 when missing
    long keyLine = -1;     // the key's line, -1 when missing
    long lastLine = -1;    // the last non-blank line of the section
  };
  Found find(const std::string &section, const std::string &key) const;

  std::vector<std::string> lines_;
};
