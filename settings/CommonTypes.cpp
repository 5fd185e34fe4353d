// The one settings record and key map of the program.
#include "CommonTypes.h"

TIniInfo Settings;
TKeyMap KeyMap;
