#pragma once

// The open panel: a Qt file dialog (Qt's own, so it behaves the same on every desktop) shown
// without a nested event loop and without blocking the window it was opened from. Its default
// button reads "Add" for every request. Symbolic links are returned as chosen, not resolved (the
// preparer refuses them).
//
// The dialog belongs to the window it was opened from: transient for it, so that the window manager
// keeps it over that window (a tiling one floats it there) and knows where the keyboard goes back,
// and centred on it. It asks for the keyboard when it opens and again once the event that opened
// it has been handled, after the opener's own answer to the pick (see pickItems). When it closes,
// that window asks for the keyboard back itself as well.
//
// The "items" request takes files and folders in one selection: "Add" returns whatever is selected,
// folders included, while a double-click on a folder still opens it.
//
// IMPORTANT: Threading. Main thread only, with a Qt widgets application object. The completion
// runs once, when the dialog closes: the chosen paths, or none when it was cancelled or the pick
// was stopped meanwhile (stopping does not close the dialog).

#include <QFileDialog>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <QtGlobal>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transfer/transfer_file_picking.h"

class QWindow;

namespace tavrel {

// Where a dialog of `size` opens over the window at `opener`: centred on it, moved inside the
// screen's work area `available` where it would run off it.
QRect dialogPlacement(QRect opener, QSize size, QRect available);

struct TransferFilePickerConfiguration {
  std::string title;
  std::string message;
  bool canChooseFiles = false;
  bool canChooseDirectories = false;
  bool allowsMultipleSelection = false;

  static TransferFilePickerConfiguration preset(TransferFilePickerRequest request);

  friend bool operator==(const TransferFilePickerConfiguration&, const TransferFilePickerConfiguration&) = default;
};

// The dialog of one pick, configured from a preset.
class TransferFileDialog final : public QFileDialog {
  Q_OBJECT

 public:
  //: The file dialog's button that adds the chosen files and folders to a transfer.
  static constexpr const char* acceptText = QT_TRANSLATE_NOOP("FilePicker", "Add");

  explicit TransferFileDialog(const TransferFilePickerConfiguration& configuration, QWidget* parent = nullptr);

  const TransferFilePickerConfiguration& configuration() const { return configuration_; }
  // What "Add" took, in the dialog's order; valid once the dialog was accepted.
  QStringList chosenPaths() const;

 public slots:
  void accept() override;

 private:
  void keepAcceptButton();

  TransferFilePickerConfiguration configuration_;
  QStringList chosen_;
};

// Each pick opens in the folder the last one ended in (for as long as the process runs), the
// first one in the user's home: never in the folder the program happened to be started from.
class SystemTransferFilePicker final : public TransferFilePicking {
 public:
  // `home`: where the first pick opens; the user's home folder when empty.
  explicit SystemTransferFilePicker(std::filesystem::path home = {});

  void pickItems(TransferFilePickerRequest request, std::stop_token stop, Completion onPicked) override;

  // Answers, as a dialog opens, the window it is opened from; a dialog opened with none, or while
  // that window is hidden, stands alone.
  void setOpener(std::function<QWindow*()> opener) { opener_ = std::move(opener); }

  // Where the next pick opens: the last pick's folder while it is still there, else home.
  std::filesystem::path startFolder() const;

 private:
  std::filesystem::path home_;
  std::function<QWindow*()> opener_;
  // Shared with the open dialog, which may close after the picker is gone.
  std::shared_ptr<std::filesystem::path> lastFolder_ = std::make_shared<std::filesystem::path>();
};

}  // namespace tavrel
