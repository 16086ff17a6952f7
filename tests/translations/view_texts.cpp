#include "translations/view_texts.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <algorithm>

namespace tavrel::testing {
namespace {

void addText(QStringList& texts, const QString& text) {
  if (!text.trimmed().isEmpty()) texts.append(text);
}

void collectItems(QQuickItem& item, QStringList& texts) {
  const QVariant text = item.property("text");
  if (text.typeId() == QMetaType::QString) addText(texts, text.toString());
  for (QQuickItem* child : item.childItems()) collectItems(*child, texts);
}

void collectAccessible(QAccessibleInterface* object, QStringList& texts, int depth) {
  if (!object || !object->isValid() || depth > 64) return;
  for (const auto kind : {QAccessible::Name, QAccessible::Description, QAccessible::Value}) {
    addText(texts, object->text(kind));
  }
  for (int i = 0; i < object->childCount(); ++i) collectAccessible(object->child(i), texts, depth + 1);
}

}  // namespace

QStringList viewTexts(QQuickWindow& window) {
  QStringList texts;
  collectItems(*window.contentItem(), texts);
  collectAccessible(QAccessible::queryAccessibleInterface(&window), texts, 0);
  texts.removeDuplicates();
  return texts;
}

QStringList menuTexts(const QMenu& menu) {
  QStringList texts;
  for (const QAction* action : menu.actions()) {
    if (!action->isSeparator())
      addText(texts, QString(action->text()).replace(QStringLiteral("&&"), QStringLiteral("&")));
  }
  return texts;
}

QStringList untranslatedTexts(const QStringList& texts, const QStringList& data) {
  // Innermost first: a translated text may hold another ("[[Tavrel — [[Ready]]]]").
  static const QRegularExpression translated(QStringLiteral(R"(\[\[(?!\[)((?!\[\[).)*?\]\])"));
  // What number formatting writes: digits and separators, byte and count units, compact durations.
  static const QRegularExpression figures(
      QStringLiteral(R"(\A(?:[\s\d.,:/%•·—()+\-]|\b(?:Zero|bytes?|[KMGTP]?B|[KMBT]|[smh])\b)*\z)"));
  QStringList sortedData = data;
  std::sort(sortedData.begin(), sortedData.end(),
            [](const QString& a, const QString& b) { return a.size() > b.size(); });

  QStringList escaped;
  for (const QString& text : texts) {
    QString rest = text;
    for (QString previous; previous != rest;) {
      previous = rest;
      rest.replace(translated, QStringLiteral(" "));
    }
    for (const QString& part : sortedData) rest.replace(part, QStringLiteral(" "));
    if (!figures.match(rest).hasMatch()) escaped.append(text);
  }
  return escaped;
}

}  // namespace tavrel::testing
