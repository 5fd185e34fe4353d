// Making a path from the command line absolute before it is used, remembered or handed over.
#pragma once

#include <string>

// `path` with the current folder before it when it is relative; links are not resolved, so the
// path the user gave stays recognisable. The folder is $PWD when that names the current folder
// (as the shell spells it), else the kernel's name for it. Empty stays empty.
std::string absolutePath(const std::string &path);
