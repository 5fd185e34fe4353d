// The recordings opened last, newest first, each with the place it was left at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Where a recording was left: what is put back when it is opened from the list.
struct TRecentFile {
  std::string Path;         // absolute, the file system's bytes
  int64_t Position = 0;     // whole seconds
  int32_t RepeatFlag = 0;   // the A-B section's state, as RepeatState
  int64_t RepeatPointA = 0; // whole seconds
  int64_t RepeatPointB = 0; // whole seconds
  int32_t Tempo = 0;        // tbTempo's position
  bool operator==(const TRecentFile &) const = default;
};

class TRecentFiles {
public:
  static constexpr size_t kKept = 10;

  // Puts the recording first, with the place it had in the list (or none), and forgets the
  // eleventh.
  void putFirst(const std::string &path);
  // Adds a recording at the end, as the settings file lists them; a path already listed and any
  // beyond the tenth are left out.
  void append(const TRecentFile &entry);
  // Updates the place of a listed recording; one that is not listed stays unlisted.
  void keepPlace(const TRecentFile &place);
  // The listed recording of that path, or nullptr.
  const TRecentFile *find(const std::string &path) const;
  void clear() { entries_.clear(); }
  const std::vector<TRecentFile> &entries() const { return entries_; }
  bool operator==(const TRecentFiles &) const = default;

private:
  std::vector<TRecentFile> entries_;
};

// "754,3,700,760,-10,/rec/interview.mp3": the place's five numbers, then the path, which may hold
// commas of its own.
std::string formatRecentFile(const TRecentFile &entry);
// False when the five numbers are not all there.
bool parseRecentFile(const std::string &text, TRecentFile &entry);
