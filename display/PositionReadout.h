// The hours:minutes:seconds form of the time readouts.
#pragma once

#include <QString>

#include <cstdint>

// "%2.2d:%2.2d:%2.2d" of hours, minutes and seconds; hours do not wrap, division truncates.
QString FormatHms(int32_t seconds);
