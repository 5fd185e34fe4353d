// Settings files saved as UTF-16 by some editors.
#pragma once

#include <string>

// The text of a file that begins with a UTF-16 byte-order mark (little- or big-endian), as UTF-8
// without the mark; any other text as it is. A lone surrogate becomes U+FFFD.
std::string utf8FromUtf16WithMark(const std::string &bytes);
