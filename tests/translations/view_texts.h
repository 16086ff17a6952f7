#pragma once

// The texts a view shows, as a screen reader and the item tree have them, and which of them escaped
// the pseudo-translation.

#include <QStringList>

class QMenu;
class QQuickWindow;

namespace tavrel::testing {

// Every non-empty text under the window: each item's `text`, and each accessible object's name,
// description and value.
QStringList viewTexts(QQuickWindow& window);

// Each action's text of a menu.
QStringList menuTexts(const QMenu& menu);

// The texts of `texts` that hold more than pseudo-translated texts, the given data and figures
// (digits, units, separators): an interface text shown without going through the catalogue.
QStringList untranslatedTexts(const QStringList& texts, const QStringList& data);

}  // namespace tavrel::testing
