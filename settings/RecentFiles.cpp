// The list of recent recordings and the text form of one entry.
#include "RecentFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

void TRecentFiles::putFirst(const std::string &path) {
  TRecentFile entry;
  entry.Path = path;
  const auto listed = std::find_if(entries_.begin(), entries_.end(),
                                   [&](const TRecentFile &e) { return e.Path == path; });
  if (listed != entries_.end()) {
    entry = *listed;
    entries_.erase(listed);
  }
  entries_.insert(entries_.begin(), entry);
  if (entries_.size() > kKept)
    entries_.resize(kKept);
}

void TRecentFiles::append(const TRecentFile &entry) {
  if (entries_.size() < kKept && !find(entry.Path))
    entries_.push_back(entry);
}

void TRecentFiles::keepPlace(const TRecentFile &place) {
  for (TRecentFile &entry : entries_)
    if (entry.Path == place.Path)
      entry = place;
}

const TRecentFile *TRecentFiles::find(const std::string &path) const {
  for (const TRecentFile &entry : entries_)
    if (entry.Path == path)
      return &entry;
  return nullptr;
}

std::string formatRecentFile(const TRecentFile &e) {
  return std::to_string(e.Position) + ',' + std::to_string(e.RepeatFlag) + ',' + std::to_string(e.RepeatPointA) +
         ',' + std::to_string(e.RepeatPointB) + ',' + std::to_string(e.Tempo) + ',' + e.Path;
}

bool parseRecentFile(const std::string &text, TRecentFile &entry) {
  int64_t numbers[5];
  const char *at = text.c_str();
  for (int64_t &number : numbers) {
    char *end = nullptr;
    errno = 0;
    number = std::strtoll(at, &end, 10);
    if (end == at || *end != ',' || errno == ERANGE || number < INT32_MIN || number > INT32_MAX)
      return false;
    at = end + 1;
  }
  entry.Path = at;
  entry.Position = numbers[0];
  entry.RepeatFlag = static_cast<int32_t>(numbers[1]);
  entry.RepeatPointA = numbers[2];
  entry.RepeatPointB = numbers[3];
  entry.Tempo = static_cast<int32_t>(numbers[4]);
  return !entry.Path.empty();
}
