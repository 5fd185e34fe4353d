// Choosing the language and installing its translation from the resources.
#include "Language.h"

#include <QCoreApplication>
#include <QTranslator>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

Language gCurrent = Language::Japanese;
std::unique_ptr<QTranslator> gTranslator;

std::string variable(const char *name) {
  const char *value = std::getenv(name);
  return value ? value : "";
}

bool isCLocale(const std::string &locale) {
  return locale.empty() || locale == "C" || locale == "POSIX" || locale.rfind("C.", 0) == 0;
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

void useLanguage(Language language) {
  if (gTranslator) {
    QCoreApplication::removeTranslator(gTranslator.get());
    gTranslator.reset();
  }
  gCurrent = language;
  if (language == Language::Japanese)
    return; // the texts in the code are the Japanese ones
  auto translator = std::make_unique<QTranslator>();
  if (translator->load(QStringLiteral(":/i18n/lystrel2_en.qm")) &&
      QCoreApplication::installTranslator(translator.get()))
    gTranslator = std::move(translator);
}

Language currentLanguage() {
  return gCurrent;
}

QString helpPageName() {
  return gCurrent == Language::English ? QStringLiteral("Lyt2Help-en.html") : QStringLiteral("Lyt2Help.html");
}
