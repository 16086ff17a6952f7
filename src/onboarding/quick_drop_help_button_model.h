#pragma once

#include <qqmlintegration.h>

#include <QCoreApplication>
#include <QObject>
#include <QString>

namespace tavrel {

// The island help button's popover: open while the pointer hovers over the button or while it has
// keyboard focus, pinned open by a click until clicked again, dismissed or cancelled with Escape.
// Closing the popover in any way clears the pin. The view reports hover, focus and the popover's own
// closing; this model decides whether it shows.
//
// IMPORTANT: Thread-safety. Main thread only.
class QuickDropHelpButtonModel : public QObject {
  Q_OBJECT
  QML_ELEMENT

  Q_PROPERTY(bool canInitiateTransfer MEMBER canInitiateTransfer_ NOTIFY changed)
  Q_PROPERTY(QString tooltipText MEMBER tooltipText_ NOTIFY changed)
  Q_PROPERTY(bool hovered READ hovered NOTIFY changed)
  Q_PROPERTY(bool pinned READ pinned NOTIFY changed)
  Q_PROPERTY(bool presented READ presented NOTIFY changed)
  Q_PROPERTY(bool focused READ focused NOTIFY changed)
  // The symbol takes the accent colour while any of hover, focus or the pin holds.
  Q_PROPERTY(bool highlighted READ highlighted NOTIFY changed)
  // The preview picture shows only when the account may send.
  Q_PROPERTY(bool showsPreview READ canInitiateTransfer NOTIFY changed)
  Q_PROPERTY(QString accessibilityLabel READ accessibilityLabel CONSTANT)

 public:
  explicit QuickDropHelpButtonModel(QObject* parent = nullptr) : QObject(parent) {}

  bool canInitiateTransfer() const { return canInitiateTransfer_; }
  bool hovered() const { return hovered_; }
  bool pinned() const { return pinned_; }
  bool presented() const { return presented_; }
  bool focused() const { return focused_; }
  bool highlighted() const { return hovered_ || focused_ || pinned_; }
  static QString accessibilityLabel() {
    return QCoreApplication::translate("Onboarding", "About Tavrel Island");
  }

  // The button's click.
  Q_INVOKABLE void togglePinned();
  Q_INVOKABLE void hoverChanged(bool inside);
  Q_INVOKABLE void focusChanged(bool focused);
  // The popover closed or opened by itself (a click elsewhere dismisses it).
  Q_INVOKABLE void presentationChanged(bool presented);
  // Escape while the button has focus.
  Q_INVOKABLE void cancel();

 signals:
  void changed();

 private:
  void setPresented(bool presented);

  bool canInitiateTransfer_ = false;
  QString tooltipText_;
  bool hovered_ = false;
  bool pinned_ = false;
  bool presented_ = false;
  bool focused_ = false;
};

}  // namespace tavrel
