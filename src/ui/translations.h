#pragma once

#include <QString>
#include <string_view>

class QCoreApplication;
class QLocale;

namespace tavrel::ui {

// Installs the translation catalogue (":/i18n/tavrel_<language>.qm") for the first of `locale`'s
// interface languages that has one, else English, whose catalogue carries the English plural
// forms. Call once the application object exists, before the first view is built. Returns the
// language of the catalogue installed ("en_US"), empty when none could be.
QString installTranslations(QCoreApplication& application, const QLocale& locale);

// A core text (see platform/translatable_text.h) as the interface shows it: its translation in the
// "Core" context, or the translation of the English pattern it was filled from with the same parts,
// or the text unchanged when it is no catalogued text (a message from the service is shown as sent).
QString translatedCoreText(std::string_view text);

}  // namespace tavrel::ui
