// Virtual-key codes back to X keysym names, as the shortcut service's triggers spell keys.
#include "PortalTriggers.h"

#include <utility>

namespace {

QString keysymName(uint32_t k) {
  if (k >= 'A' && k <= 'Z')
    return QString(QChar(static_cast<char16_t>(k - 'A' + 'a')));
  if (k >= '0' && k <= '9')
    return QString(QChar(static_cast<char16_t>(k)));
  if (k >= 0x70 && k <= 0x87)
    return QStringLiteral("F%1").arg(k - 0x70 + 1);
  if (k >= 0x60 && k <= 0x69)
    return QStringLiteral("KP_%1").arg(k - 0x60);
  static const std::pair<uint32_t, const char *> kNames[] = {
      {0x20, "space"},       {0x08, "BackSpace"},      {0x09, "Tab"},         {0x0D, "Return"},
      {0x13, "Pause"},       {0x91, "Scroll_Lock"},    {0x1B, "Escape"},      {0x24, "Home"},
      {0x25, "Left"},        {0x26, "Up"},             {0x27, "Right"},       {0x28, "Down"},
      {0x21, "Prior"},       {0x22, "Next"},           {0x23, "End"},         {0x2C, "Print"},
      {0x2D, "Insert"},      {0x2E, "Delete"},         {0x5D, "Menu"},        {0x90, "Num_Lock"},
      {0x10, "Shift_L"},     {0x11, "Control_L"},      {0x12, "Alt_L"},       {0x5B, "Super_L"},
      {0x5C, "Super_R"},     {0xF0, "Caps_Lock"},      {0x1D, "Muhenkan"},    {0x1C, "Henkan_Mode"},
      {0xF2, "Hiragana_Katakana"}, {0xF4, "Zenkaku_Hankaku"}, {0x6A, "KP_Multiply"}, {0x6B, "KP_Add"},
      {0x6C, "KP_Separator"}, {0x6D, "KP_Subtract"},   {0x6E, "KP_Decimal"},  {0x6F, "KP_Divide"},
      {0xBC, "comma"},       {0xBE, "period"},         {0xBF, "slash"},       {0xBA, "semicolon"},
      {0xBB, "equal"},       {0xBD, "minus"},          {0xDE, "apostrophe"},  {0xC0, "grave"},
      {0xDB, "bracketleft"}, {0xDD, "bracketright"},   {0xDC, "backslash"},   {0xE2, "backslash"},
  };
  for (const auto &[code, name] : kNames)
    if (code == k)
      return QString::fromLatin1(name);
  return {};
}

} // namespace

QString portalTrigger(int32_t modifiers, uint32_t virtualKey) {
  const QString key = keysymName(virtualKey);
  if (key.isEmpty() || (virtualKey >= 0x10 && virtualKey <= 0x12))
    return key;
  QString trigger;
  if (modifiers & 8)
    trigger += QStringLiteral("CTRL+");
  if (modifiers & 16)
    trigger += QStringLiteral("ALT+");
  if (modifiers & 4)
    trigger += QStringLiteral("SHIFT+");
  return trigger + key;
}
