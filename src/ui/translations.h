#pragma once

#include <QRegularExpression>
#include <QString>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class QCoreApplication;
class QLocale;

namespace tavrel::ui {

// Installs the translation catalogue (":/i18n/tavrel_<language>.qm") for the first of `locale`'s
// interface languages that has one, else English, whose catalogue carries the English plural
// forms. Call once the application object exists, before the first view is built. Returns the
// language of the catalogue installed ("en_US"), empty when none could be.
QString installTranslations(QCoreApplication& application, const QLocale& locale);

// English patterns of core texts with parts from data ("Tavrel couldn’t read “%1”. …"), each with
// the expression that takes the parts back out of a filled text. The interface knows the patterns of
// the libraries beneath it; a program above hands its own down (the share program's loader), so
// nothing here reaches up for them. Make each set once: the expressions are built here.
class CoreTextPatterns {
 public:
  CoreTextPatterns(std::initializer_list<const char*> patterns);

  // The translation of the first pattern `english` was filled from, with the same parts.
  std::optional<QString> translate(const QString& english) const;

 private:
  std::vector<std::pair<const char*, QRegularExpression>> matchers_;
};

// A core text (see platform/translatable_text.h) as the interface shows it: its translation in the
// "Core" context, or the translation of the English pattern it was filled from with the same parts
// (the interface's own patterns, then `more`), or the text unchanged when it is no catalogued text
// (a message from the service is shown as sent).
QString translatedCoreText(std::string_view text);
QString translatedCoreText(std::string_view text, const CoreTextPatterns& more);

}  // namespace tavrel::ui
