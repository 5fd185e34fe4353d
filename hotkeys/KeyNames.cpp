// The command and key name tables.
#include "KeyNames.h"

#include "CommonTypes.h"

#include <QCoreApplication>

#include <array>

namespace {

const std::array<const char *, KeyMapSlots> kFunctionNames{
    QT_TRANSLATE_NOOP("KeyNames", "再生・停止"),
    QT_TRANSLATE_NOOP("KeyNames", "早送り"),
    QT_TRANSLATE_NOOP("KeyNames", "巻き戻し"),
    QT_TRANSLATE_NOOP("KeyNames", "リセット"),
    QT_TRANSLATE_NOOP("KeyNames", "カウンタコピー"),
    QT_TRANSLATE_NOOP("KeyNames", "カウンタ指定"),
    QT_TRANSLATE_NOOP("KeyNames", "イコライザ120"),
    QT_TRANSLATE_NOOP("KeyNames", "イコライザ200"),
    QT_TRANSLATE_NOOP("KeyNames", "イコライザ400"),
    QT_TRANSLATE_NOOP("KeyNames", "イコライザ1.2K"),
    QT_TRANSLATE_NOOP("KeyNames", "イコライザ4K"),
    QT_TRANSLATE_NOOP("KeyNames", "イコライザ10K"),
    QT_TRANSLATE_NOOP("KeyNames", "A点 設定／解除"),
    QT_TRANSLATE_NOOP("KeyNames", "B点 設定／解除"),
    QT_TRANSLATE_NOOP("KeyNames", "音量アップ"),
    QT_TRANSLATE_NOOP("KeyNames", "音量ダウン"),
    QT_TRANSLATE_NOOP("KeyNames", "速度0.5倍"),
    QT_TRANSLATE_NOOP("KeyNames", "速度1.0倍"),
    QT_TRANSLATE_NOOP("KeyNames", "速度1.5倍"),
    QT_TRANSLATE_NOOP("KeyNames", "速度2.0倍"),
    QT_TRANSLATE_NOOP("KeyNames", "速度変更＋"),
    QT_TRANSLATE_NOOP("KeyNames", "速度変更－"),
    QT_TRANSLATE_NOOP("KeyNames", "前のフレーズへ"),
    QT_TRANSLATE_NOOP("KeyNames", "次のフレーズへ")};

// The key names that are Japanese words, for the translation (names are translated by their text).
[[maybe_unused]] const char *const kJapaneseKeyNames[] = {
    QT_TRANSLATE_NOOP("KeyNames", "ろ"),       QT_TRANSLATE_NOOP("KeyNames", "無変換"),
    QT_TRANSLATE_NOOP("KeyNames", "変換"),     QT_TRANSLATE_NOOP("KeyNames", "カタカナ"),
    QT_TRANSLATE_NOOP("KeyNames", "半角/全角")};

struct Named {
  uint32_t code;
  const char *name;
};

// The name table's keys that are not letters, digits or function keys, in table order.
constexpr Named kNamed[] = {
    {0xF0, "CapsLock"}, {0x91, "ScrollLock"}, {0x08, "Bksp"},   {0x1B, "ESC"},   {0xBD, "-"},
    {0xDE, "^"},        {0xDC, "\\\\"},       {0xC0, "@"},      {0xDB, "["},     {0xBB, ";"},
    {0xBA, ":"},        {0xDD, "]"},          {0xBC, ","},      {0xBE, "."},     {0xBF, "/"},
    {0xE2, "ろ"},       {0x20, "Space"},      {0x2D, "Ins"},    {0x24, "Home"},  {0x21, "PgUp"},
    {0x2E, "Del"},      {0x23, "End"},        {0x22, "PgDown"}, {0x25, "←"},     {0x26, "↑"},
    {0x27, "→"},        {0x28, "↓"},          {0x1D, "無変換"}, {0x10, "Shift"}, {0x11, "Ctrl"},
    {0x12, "Alt"},
};

// Names for keys outside the table, so that they can be bound and shown.
constexpr Named kExtra[] = {
    {0x13, "Pause"}, {0x90, "NumLock"}, {0x6A, "Num*"},     {0x6B, "Num+"},      {0x6C, "NumSep"},
    {0x6D, "Num-"},  {0x6E, "Num."},    {0x6F, "Num/"},     {0x2C, "PrtSc"},     {0x5D, "Menu"},
    {0x0C, "Clear"}, {0x1C, "変換"},    {0xF2, "カタカナ"}, {0xF4, "半角/全角"}, {0xAD, "Mute"},
    {0xAE, "Vol-"},  {0xAF, "Vol+"},    {0xB0, "Next"},     {0xB1, "Prev"},      {0xB2, "Stop"},
    {0xB3, "Play"},
};

QString tableName(uint32_t k) {
  if (k >= 0x70 && k <= 0x7B)
    return QStringLiteral("F%1").arg(k - 0x70 + 1);
  if ((k >= 0x41 && k <= 0x5A) || (k >= 0x30 && k <= 0x39))
    return QString(QChar(static_cast<char16_t>(k)));
  if (k >= 0x60 && k <= 0x69)
    return QString(QChar(static_cast<char16_t>('0' + k - 0x60)));
  for (const Named &n : kNamed)
    if (n.code == k)
      return QCoreApplication::translate("KeyNames", n.name);
  return {};
}

} // namespace

QString functionName(int index) {
  return QCoreApplication::translate("KeyNames", kFunctionNames.at(index));
}

bool inKeyNameTable(uint32_t virtualKey) {
  return !tableName(virtualKey).isEmpty();
}

QString keyName(uint32_t k) {
  const QString named = tableName(k);
  if (!named.isEmpty())
    return named;
  if (k >= 0x7C && k <= 0x87)
    return QStringLiteral("F%1").arg(k - 0x70 + 1);
  if (k >= 0x88 && k <= 0x8B) // the switches of a foot pedal
    return QCoreApplication::translate("KeyNames", "ペダル%1").arg(k - 0x88 + 1);
  for (const Named &n : kExtra)
    if (n.code == k)
      return QCoreApplication::translate("KeyNames", n.name);
  return {};
}

QString bindingName(int32_t modifiers, uint32_t virtualKey) {
  const QString name = keyName(virtualKey);
  if (virtualKey == 0x10 || virtualKey == 0x11 || virtualKey == 0x12 || name.isEmpty())
    return name;
  QString text;
  if (modifiers & 4)
    text += QStringLiteral("Shift+");
  if (modifiers & 8)
    text += QStringLiteral("Ctrl+");
  if (modifiers & 16)
    text += QStringLiteral("Alt+");
  return text + name;
}
