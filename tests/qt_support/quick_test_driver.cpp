#include "qt_support/quick_test_driver.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleValueInterface>
#include <QMetaEnum>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>

#include "controls/motion.h"
#include "qt_support/qt_test_environment.h"

namespace tavrel::testing {

void QuickTestDriver::setReduceMotion(bool on) { Motion::shared()->setReduceMotion(on); }

namespace {

void collect(QAccessibleInterface* element, int depth, QVariantList& out) {
  if (!element || !element->isValid()) return;
  static const auto roles = QMetaEnum::fromType<QAccessible::Role>();
  const auto state = element->state();
  QVariantMap entry{{QStringLiteral("role"), QString::fromLatin1(roles.valueToKey(element->role()))},
                    {QStringLiteral("name"), element->text(QAccessible::Name)},
                    {QStringLiteral("description"), element->text(QAccessible::Description)},
                    {QStringLiteral("depth"), depth},
                    {QStringLiteral("children"), element->childCount()},
                    {QStringLiteral("shown"), !state.invisible}};
  if (auto* value = element->valueInterface()) {
    entry.insert(QStringLiteral("value"), value->currentValue());
    entry.insert(QStringLiteral("minimum"), value->minimumValue());
    entry.insert(QStringLiteral("maximum"), value->maximumValue());
  }
  out.append(entry);
  for (int i = 0; i < element->childCount(); ++i) collect(element->child(i), depth + 1, out);
}

// Whether assistive technology meets the item as an element of its own: it has an accessible
// role attached and is not ignored.
bool isElement(const QQuickItem* item) {
  for (const auto* child : item->children()) {
    if (child->inherits("QQuickAccessibleAttached")) {
      return !child->property("ignored").toBool() && child->property("role").toInt() != QAccessible::NoRole;
    }
  }
  return false;
}

}  // namespace

QVariantList QuickTestDriver::accessibleTree(QQuickItem* item) const {
  QVariantList out;
  if (!item) return out;
  // An item without a role of its own has no element: its accessible descendants then hang from
  // the window, as a screen reader finds them.
  if (auto* element = QAccessible::queryAccessibleInterface(item)) {
    collect(element, 0, out);
  } else if (item->window()) {
    collect(QAccessible::queryAccessibleInterface(item->window()), 0, out);
  }
  return out;
}

QStringList QuickTestDriver::unheardTexts(QQuickItem* item) const {
  const auto shown = [](const QQuickItem* candidate) {
    for (; candidate; candidate = candidate->parentItem()) {
      if (!candidate->isVisible() || qFuzzyIsNull(candidate->opacity())) return false;
    }
    return true;
  };
  const auto plain = [](QString text) {
    text = text.trimmed().toCaseFolded();
    while (text.endsWith(QChar(0x2026)) || text.endsWith(QLatin1Char('.'))) text.chop(1);
    return text;
  };
  QStringList unheard;
  QList<QQuickItem*> pending{item};
  while (!pending.isEmpty()) {
    auto* current = pending.takeFirst();
    if (!current || !shown(current)) continue;
    pending.append(current->childItems());
    if (!current->inherits("QQuickText")) continue;
    const auto text = current->property("text").toString();
    if (text.trimmed().isEmpty()) continue;
    QAccessibleInterface* element = nullptr;
    for (auto* candidate = current; candidate && !element; candidate = candidate->parentItem()) {
      if (isElement(candidate)) element = QAccessible::queryAccessibleInterface(candidate);
    }
    if (element) {
      const auto role = element->role();
      if (role == QAccessible::Button || role == QAccessible::CheckBox || role == QAccessible::ButtonMenu) continue;
      const auto heard = plain(element->text(QAccessible::Name)) + QLatin1Char('\n') +
                         plain(element->text(QAccessible::Description));
      if (heard.contains(plain(text))) continue;
    }
    unheard << text;
  }
  return unheard;
}

QStringList QuickTestDriver::accessibleActions(QQuickItem* item) const {
  auto* element = item ? QAccessible::queryAccessibleInterface(item) : nullptr;
  auto* actions = element ? element->actionInterface() : nullptr;
  return actions ? actions->actionNames() : QStringList{};
}

bool QuickTestDriver::doAccessibleAction(QQuickItem* item, const QString& action) const {
  if (!accessibleActions(item).contains(action)) return false;
  QAccessible::queryAccessibleInterface(item)->actionInterface()->doAction(action);
  return true;
}

QuickTestDriver& quickTestDriver() {
  static QuickTestDriver* driver = new QuickTestDriver;  // lives as long as the test program
  return *driver;
}

QuickTestSetup::QuickTestSetup() { prepareQtTestEnvironment(); }

void QuickTestSetup::qmlEngineAvailable(QQmlEngine* engine) {
  prepareQuickTestEngine(*engine);
  engine->rootContext()->setContextProperty(QStringLiteral("driver"), &quickTestDriver());
  engineReady(*engine);
}

}  // namespace tavrel::testing
