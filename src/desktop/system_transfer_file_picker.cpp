#include "desktop/system_transfer_file_picker.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDir>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace tavrel {

TransferFilePickerConfiguration TransferFilePickerConfiguration::preset(TransferFilePickerRequest request) {
  switch (request) {
    case TransferFilePickerRequest::files:
      return {QCoreApplication::translate("FilePicker", "Add Files").toStdString(),
              QCoreApplication::translate("FilePicker", "Choose one or more files for this transfer.")
                  .toStdString(),
              true, false, true};
    case TransferFilePickerRequest::folder:
      return {QCoreApplication::translate("FilePicker", "Add Folder").toStdString(),
              QCoreApplication::translate("FilePicker", "Choose one folder for this transfer.").toStdString(),
              false, true, false};
    case TransferFilePickerRequest::items:
      return {
          QCoreApplication::translate("FilePicker", "Choose Files or Folders").toStdString(),
          QCoreApplication::translate("FilePicker", "Choose one or more files or folders for this transfer.")
              .toStdString(),
          true, true, true};
  }
  return {};
}

TransferFileDialog::TransferFileDialog(const TransferFilePickerConfiguration& configuration, QWidget* parent)
    : QFileDialog(parent), configuration_(configuration) {
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::DontResolveSymlinks, true);
  setWindowTitle(QString::fromStdString(configuration_.title));
  setLabelText(QFileDialog::Accept, QCoreApplication::translate("FilePicker", acceptText));
  setAcceptMode(QFileDialog::AcceptOpen);
  if (configuration_.canChooseDirectories && !configuration_.canChooseFiles) {
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly, true);
  } else {
    setFileMode(configuration_.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  }

  auto* message = new QLabel(QString::fromStdString(configuration_.message), this);
  message->setObjectName(QStringLiteral("transferPickerMessage"));
  message->setTextFormat(Qt::PlainText);
  message->setWordWrap(true);
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
    grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
  }

  if (configuration_.canChooseFiles && configuration_.canChooseDirectories) {
    // Qt's dialog relabels its button "Open" and treats it as "go into the folder" while a folder is
    // selected; here a folder is a choice like a file, so the button keeps its text and stays usable.
    for (auto* view : findChildren<QAbstractItemView*>()) {
      if (!view->selectionModel()) continue;
      connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { keepAcceptButton(); });
    }
    connect(this, &QFileDialog::currentChanged, this, [this] { keepAcceptButton(); });
  }
}

void TransferFileDialog::keepAcceptButton() {
  auto* buttons = findChild<QDialogButtonBox*>();
  auto* button = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
  if (!button) return;
  button->setText(QCoreApplication::translate("FilePicker", acceptText));
  button->setEnabled(!selectedFiles().isEmpty());
}

void TransferFileDialog::accept() {
  if (!(configuration_.canChooseFiles && configuration_.canChooseDirectories)) {
    QFileDialog::accept();
    return;
  }
  QStringList chosen;
  for (const auto& path : selectedFiles()) {
    // A name typed that names nothing is not a choice.
    if (QFileInfo(path).exists() || QFileInfo(path).isSymLink()) chosen.append(path);
  }
  if (chosen.isEmpty()) return;
  chosen_ = chosen;
  QDialog::accept();
}

QStringList TransferFileDialog::chosenPaths() const {
  return configuration_.canChooseFiles && configuration_.canChooseDirectories ? chosen_ : selectedFiles();
}

QRect dialogPlacement(QRect opener, QSize size, QRect available) {
  QRect placed(QPoint(), size);
  placed.moveCenter(opener.center());
  // A dialog larger than the work area keeps its top-left corner, title bar included, on screen.
  if (placed.right() > available.right()) placed.moveRight(available.right());
  if (placed.bottom() > available.bottom()) placed.moveBottom(available.bottom());
  if (placed.left() < available.left()) placed.moveLeft(available.left());
  if (placed.top() < available.top()) placed.moveTop(available.top());
  return placed;
}

SystemTransferFilePicker::SystemTransferFilePicker(std::filesystem::path home)
    : home_(home.empty() ? std::filesystem::path(QDir::homePath().toStdString()) : std::move(home)) {}

std::filesystem::path SystemTransferFilePicker::startFolder() const {
  std::error_code error;
  if (!lastFolder_->empty() && std::filesystem::is_directory(*lastFolder_, error)) return *lastFolder_;
  return home_;
}

void SystemTransferFilePicker::pickItems(TransferFilePickerRequest request, std::stop_token stop,
                                         Completion onPicked) {
  auto* dialog = new TransferFileDialog(TransferFilePickerConfiguration::preset(request));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setDirectory(QString::fromStdString(startFolder().string()));
  QPointer<QWindow> opener = opener_ ? opener_() : nullptr;
  if (opener && !opener->isVisible()) opener = nullptr;
  if (opener) {
    // A widget's own parent cannot be a Qt Quick window: its native window takes the opener instead.
    dialog->winId();
    dialog->windowHandle()->setTransientParent(opener);
    dialog->adjustSize();
    if (auto* screen = opener->screen()) {
      dialog->move(dialogPlacement(opener->geometry(), dialog->size(), screen->availableGeometry()).topLeft());
    }
  }
  QObject::connect(dialog, &QDialog::finished, dialog,
                   [dialog, opener, lastFolder = lastFolder_, stop = std::move(stop),
                    onPicked = std::move(onPicked)](int result) {
                     // Without this a window manager may give the keyboard to no window at all: the
                     // opener would stay shown, deaf to Escape and Tab.
                     if (opener && opener->isVisible()) opener->requestActivate();
                     // Where the user went is where the next pick starts, whether this one was
                     // cancelled or not.
                     *lastFolder = dialog->directory().absolutePath().toStdString();
                     if (result != QDialog::Accepted || stop.stop_requested()) {
                       onPicked(std::nullopt);
                       return;
                     }
                     std::vector<std::filesystem::path> paths;
                     for (const auto& path : dialog->chosenPaths()) paths.emplace_back(path.toStdString());
                     onPicked(std::move(paths));
                   });
  // Not modal: like a free-standing panel, it blocks none of the program's windows.
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  // The opener answers the pick after this call: its content is disabled while the dialog shows,
  // which moves its keyboard focus, and on Wayland Qt then asks the compositor to activate the
  // opener again, with the same valid token as the dialog's. GNOME grants the later request, so the
  // dialog asks once more after the opener has answered: the last request is the dialog's.
  QTimer::singleShot(0, dialog, [dialog] {
    if (dialog->isVisible()) dialog->activateWindow();
  });
}

}  // namespace tavrel
