// Choosing the language and installing its translation from the resources.
#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

Language gCurrent = Language::Japanese;
std::unique_ptr<QTranslator> gTranslator;   // our texts, when they are not the Japanese ones
std::unique_ptr<QTranslator> gQtTranslator; // Qt's own texts, when they are not the English ones

std::string variable(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

bool isCLocale(const std::string &locale) {
  return locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0;
}

// The catalogue `name` (in `folder` unless the name says where), installed; null when there is none.
std::unique_ptr<QTranslator> installed(const QString &name, const QString &folder = QString()) {
  auto translator = std::make_unique<QTranslator>();
  if (translator->load(name, folder) && QCoreApplication::installTranslator(translator.get()))
    return translator;
  return nullptr;
}

void uninstall(std::unique_ptr<QTranslator> &translator) {
  if (translator)
    QCoreApplication::removeTranslator(translator.get());
  translator.reset();
}

} // namespace

Language chosenLanguage() {
  const std::string forced = variable("LYSTREL2_LANG");
  if (forced == "ja")
    return Language::Japanese;
  if (forced == "en")
    return Language::English;
  std::string locale;
  for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (locale = variable(name); !locale.empty())
      break;
  if (isCLocale(locale))
    return Language::Japanese;
  const std::string preferred = variable("LANGUAGE");
  const std::string first = preferred.substr(0, preferred.find(':'));
  const std::string &decisive = first.empty() ? locale : first;
  return decisive.rfind("ja", 0) == 0 ? Language::Japanese : Language::English;
}

// The texts in the code are the Japanese ones; Qt's own (the standard buttons, the file dialog) are
// English, and Japanese from the Qt translations package (qt6-translations-l10n) where it is installed.
void useLanguage(Language language) {
  uninstall(gTranslator);
  uninstall(gQtTranslator);
  gCurrent = language;
  if (language == Language::Japanese)
    gQtTranslator = installed(QStringLiteral("qt_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  else
    gTranslator = installed(QStringLiteral(":/i18n/lystrel2_en.qm"));
}

Language currentLanguage() {
  return gCurrent;
}

QString helpPageName() {
  return gCurrent == Language::English ? QStringLiteral("Lyt2Help-en.html") : QStringLiteral("Lyt2Help.html");
}
