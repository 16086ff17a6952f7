#include "translations/pseudo_translator.h"

#include <QFile>
#include <QXmlStreamReader>
#include <algorithm>

namespace tavrel::testing {
namespace {

QString key(const QString& context, const QString& source) { return context + QLatin1Char('\n') + source; }

// Contexts whose texts are looked up by value: the core's messages and the menu's titles, where a
// message from the service or a user's name is looked up too and is meant to miss.
bool looksUpByValue(const char* context) {
  return qstrcmp(context, "Core") == 0 || qstrcmp(context, "MenuBarMenu") == 0;
}

// Qt's own texts ("QFileDialog", "QShortcut") have catalogues of their own.
bool isQtContext(const char* context) { return context[0] == 'Q' && context[1] >= 'A' && context[1] <= 'Z'; }

}  // namespace

PseudoTranslator::PseudoTranslator(const QString& catalogueFile) {
  QFile file(catalogueFile);
  if (!file.open(QIODevice::ReadOnly)) return;
  QXmlStreamReader xml(&file);
  QString context;
  while (!xml.atEnd()) {
    if (!xml.readNextStartElement()) continue;
    if (xml.name() == QLatin1String("context")) {
      context.clear();
    } else if (xml.name() == QLatin1String("name")) {
      context = xml.readElementText();
    } else if (xml.name() == QLatin1String("source")) {
      catalogue_.insert(key(context, xml.readElementText()));
    }
  }
}

QString PseudoTranslator::translate(const char* context, const char* sourceText, const char*, int) const {
  const QString source = QString::fromUtf8(sourceText);
  if (catalogue_.contains(key(QString::fromUtf8(context), source))) return pseudoTranslated(source);
  if (!looksUpByValue(context) && !isQtContext(context))
    misses_.insert(QString::fromUtf8(context) + QStringLiteral(": ") + source);
  return {};
}

QStringList PseudoTranslator::misses() const {
  QStringList list(misses_.begin(), misses_.end());
  std::sort(list.begin(), list.end());
  return list;
}

QString pseudoTranslated(const QString& text) { return QStringLiteral("[[") + text + QStringLiteral("]]"); }

}  // namespace tavrel::testing
