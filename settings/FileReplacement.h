// Replacing a whole file so that a crash or a full disk leaves the old one or the new one.
#pragma once

#include <string>

// Writes `text` beside the file at `path` and renames it over the file. A symbolic link is followed
// and its target replaced, the link kept; the target keeps its permissions. A file that exists but
// may not be written is left as it is. False when nothing was replaced.
bool replaceFile(const std::string &path, const std::string &text);
