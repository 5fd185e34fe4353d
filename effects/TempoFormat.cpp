// Formatting the tempo factor.
#include "TempoFormat.h"

#include <cmath>

QString tempoCaption(int position) {
  const float factor = static_cast<float>(position + 100) / 100.0f;
  const long hundredths = std::lround(static_cast<double>(factor) * 100);
  QString text = QString::number(hundredths / 100) + QLatin1Char('.') + QString::number(hundredths / 10 % 10);
  if (hundredths % 10 != 0)
    text += QString::number(hundredths % 10);
  return (text + QLatin1Char(' ')).left(4);
}
