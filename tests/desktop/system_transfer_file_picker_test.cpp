#include "desktop/system_transfer_file_picker.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include <chrono>

#include "support/temporary_directory.h"

namespace tavrel {
namespace {

using Request = TransferFilePickerRequest;

QPushButton* addButton(QFileDialog& dialog) {
  auto* buttons = dialog.findChild<QDialogButtonBox*>();
  return buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
}

// Runs the event loop until `done`, for the file system model's folder listing, which arrives from
// Qt's own thread.
bool processEventsUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
  }
  return true;
}

TransferFileDialog* shownDialog() {
  for (auto* widget : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<TransferFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
  }
  return nullptr;
}

TEST(SystemTransferFilePickerTest, PresetsAndDialogs) {
  using Configuration = TransferFilePickerConfiguration;
  EXPECT_EQ(Configuration::preset(Request::files),
            (Configuration{"Add Files", "Choose one or more files for this transfer.", true, false, true}));
  EXPECT_EQ(Configuration::preset(Request::folder),
            (Configuration{"Add Folder", "Choose one folder for this transfer.", false, true, false}));
  EXPECT_EQ(Configuration::preset(Request::items),
            (Configuration{"Choose Files or Folders", "Choose one or more files or folders for this transfer.", true,
                           true, true}));

  for (const auto request : {Request::files, Request::folder, Request::items}) {
    TransferFileDialog dialog(Configuration::preset(request));
    EXPECT_EQ(dialog.labelText(QFileDialog::Accept), "Add");
    EXPECT_EQ(dialog.windowTitle().toStdString(), Configuration::preset(request).title);
    auto* message = dialog.findChild<QLabel*>(QStringLiteral("transferPickerMessage"));
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text().toStdString(), Configuration::preset(request).message);
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontResolveSymlinks));
  }
  TransferFileDialog folder(Configuration::preset(Request::folder));
  EXPECT_EQ(folder.fileMode(), QFileDialog::Directory);
  EXPECT_TRUE(folder.testOption(QFileDialog::ShowDirsOnly));
  TransferFileDialog files(Configuration::preset(Request::files));
  EXPECT_EQ(files.fileMode(), QFileDialog::ExistingFiles);
}

TEST(SystemTransferFilePickerTest, ItemsDialogTakesFilesAndFoldersInOneSelection) {
  testing::TemporaryDirectory folder;
  folder.writeFile("notes.txt", "n");
  folder.makeDirectory("photos");
  TransferFileDialog dialog(TransferFilePickerConfiguration::preset(Request::items));
  dialog.setDirectory(QString::fromStdString(folder.path().string()));
  dialog.show();

  auto* list = dialog.findChild<QListView*>(QStringLiteral("listView"));
  ASSERT_NE(list, nullptr);
  auto* model = qobject_cast<QFileSystemModel*>(list->model());
  ASSERT_NE(model, nullptr);
  const auto root = model->index(QString::fromStdString(folder.path().string()));
  ASSERT_TRUE(processEventsUntil([&] { return model->rowCount(root) == 2; }));
  list->selectionModel()->select(model->index(QString::fromStdString((folder.path() / "photos").string())),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
  list->selectionModel()->select(model->index(QString::fromStdString((folder.path() / "notes.txt").string())),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);

  auto* button = addButton(dialog);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Add");
  EXPECT_TRUE(button->isEnabled());
  button->click();

  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  QStringList chosen = dialog.chosenPaths();
  chosen.sort();
  EXPECT_EQ(chosen, (QStringList{QString::fromStdString((folder.path() / "notes.txt").string()),
                                 QString::fromStdString((folder.path() / "photos").string())}));
}

TEST(SystemTransferFilePickerTest, PickReturnsTheChoiceOrNoneWhenCancelledOrStopped) {
  testing::TemporaryDirectory folder;
  const auto file = folder.writeFile("a.bin", "a");
  const auto openDialog = [] {
    for (auto* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<TransferFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    }
    return static_cast<TransferFileDialog*>(nullptr);
  };
  SystemTransferFilePicker picker;
  using Result = std::optional<std::vector<std::filesystem::path>>;

  std::vector<Result> results;
  picker.pickItems(Request::files, {}, [&](Result result) { results.push_back(std::move(result)); });
  ASSERT_NE(openDialog(), nullptr);
  EXPECT_TRUE(results.empty());  // never inside the call
  openDialog()->reject();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0], std::nullopt);  // none, not an empty list

  picker.pickItems(Request::files, {}, [&](Result result) { results.push_back(std::move(result)); });
  auto* dialog = openDialog();
  ASSERT_NE(dialog, nullptr);
  dialog->setDirectory(QString::fromStdString(folder.path().string()));
  dialog->selectFile(QStringLiteral("a.bin"));
  dialog->accept();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1], Result(std::vector<std::filesystem::path>{file}));

  std::stop_source stop;
  picker.pickItems(Request::files, stop.get_token(), [&](Result result) { results.push_back(std::move(result)); });
  stop.request_stop();
  ASSERT_NE(openDialog(), nullptr);  // stopping does not close the dialog
  dialog = openDialog();
  dialog->setDirectory(QString::fromStdString(folder.path().string()));
  dialog->selectFile(QStringLiteral("a.bin"));
  dialog->accept();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[2], std::nullopt);
  QApplication::processEvents();  // lets the closed dialogs go
}

// The first pick opens at home; each next one where the last ended, cancelled or not, unless that
// folder has gone since.
TEST(SystemTransferFilePickerTest, PicksOpenAtHomeThenWhereTheLastOneEnded) {
  testing::TemporaryDirectory home;
  testing::TemporaryDirectory elsewhere;
  const auto photos = elsewhere.makeDirectory("photos");
  const auto openDialog = [] {
    for (auto* widget : QApplication::topLevelWidgets()) {
      if (auto* dialog = qobject_cast<TransferFileDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    }
    return static_cast<TransferFileDialog*>(nullptr);
  };
  const auto folderOf = [](const QDir& directory) {
    return std::filesystem::path(directory.absolutePath().toStdString());
  };
  SystemTransferFilePicker picker(home.path());
  const auto ignore = [](std::optional<std::vector<std::filesystem::path>>) {};

  picker.pickItems(Request::files, {}, ignore);
  ASSERT_NE(openDialog(), nullptr);
  EXPECT_EQ(folderOf(openDialog()->directory()), home.path());
  openDialog()->setDirectory(QString::fromStdString(photos.string()));
  openDialog()->reject();

  picker.pickItems(Request::folder, {}, ignore);
  ASSERT_NE(openDialog(), nullptr);
  EXPECT_EQ(folderOf(openDialog()->directory()), photos);
  openDialog()->reject();

  std::filesystem::remove(photos);
  EXPECT_EQ(picker.startFolder(), home.path());
  QApplication::processEvents();  // lets the closed dialogs go
}

TEST(SystemTransferFilePickerTest, DialogsOpenCentredOnTheirWindowInsideTheWorkArea) {
  const QRect area(0, 30, 1600, 970);
  EXPECT_EQ(dialogPlacement(QRect(600, 300, 320, 400), QSize(520, 300), area), QRect(500, 350, 520, 300));
  // A popover in the corner by a top panel: the dialog stays whole on screen, over the popover.
  EXPECT_EQ(dialogPlacement(QRect(1270, 30, 320, 400), QSize(700, 500), area), QRect(900, 30, 700, 500));
  // Larger than the work area: its top-left corner, with the title bar, stays on screen.
  EXPECT_EQ(dialogPlacement(QRect(0, 30, 320, 400), QSize(2000, 1200), area).topLeft(), QPoint(0, 30));
}

// The window manager keeps a dialog over the window it was opened from and gives that window the
// keyboard back only when it knows the window. On a bare X server (desktop.FilePickerOnX11) nothing
// gives it back but the window asking for it.
TEST(SystemTransferFilePickerTest, ADialogBelongsToTheWindowItIsOpenedFromAndGivesItTheKeyboardBack) {
  testing::TemporaryDirectory folder;
  const auto file = folder.writeFile("a.bin", "a");
  const auto area = QGuiApplication::primaryScreen()->availableGeometry();
  QWindow opener;
  opener.setGeometry(QRect(area.center() - QPoint(160, 200), QSize(320, 400)));
  opener.show();
  opener.requestActivate();
  ASSERT_TRUE(processEventsUntil([&] { return QGuiApplication::focusWindow() == &opener; }));
  SystemTransferFilePicker picker(folder.path());
  picker.setOpener([&] { return &opener; });
  using Result = std::optional<std::vector<std::filesystem::path>>;
  std::vector<Result> results;

  for (const bool choose : {false, true}) {
    picker.pickItems(Request::files, {}, [&](Result result) { results.push_back(std::move(result)); });
    auto* dialog = shownDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_NE(dialog->windowHandle(), nullptr);
    EXPECT_EQ(dialog->windowHandle()->transientParent(), &opener);
    EXPECT_FALSE(dialog->isModal());  // the opener stays usable meanwhile
    // Centred on it, give or take the dialog's frame.
    EXPECT_LE((dialog->geometry().center() - opener.geometry().center()).manhattanLength(), 4);
    ASSERT_TRUE(processEventsUntil([&] { return QGuiApplication::focusWindow() == dialog->windowHandle(); }));
    if (choose) {
      // Typed, as the name field has the keyboard (a selectFile() would leave it alone).
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      ASSERT_NE(name, nullptr);
      name->setText(QStringLiteral("a.bin"));
      dialog->accept();
    } else {
      dialog->reject();
    }
    EXPECT_TRUE(processEventsUntil([&] { return QGuiApplication::focusWindow() == &opener; }))
        << (choose ? "after a choice" : "after a cancel");
  }
  EXPECT_EQ(results, (std::vector<Result>{std::nullopt, std::vector<std::filesystem::path>{file}}));

  // The opener answers the pick in the same turn and asks for the keyboard itself (the popover,
  // whose content is disabled under the dialog, does so through Qt on Wayland): the dialog keeps it.
  picker.pickItems(Request::files, {}, [&](Result result) { results.push_back(std::move(result)); });
  opener.requestActivate();
  auto* dialog = shownDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(processEventsUntil([&] { return QGuiApplication::focusWindow() == dialog->windowHandle(); }));
  QApplication::processEvents();
  EXPECT_EQ(QGuiApplication::focusWindow(), dialog->windowHandle());
  dialog->reject();
  ASSERT_TRUE(processEventsUntil([&] { return QGuiApplication::focusWindow() == &opener; }));

  // A hidden window is no place for a dialog: it stands alone, and the window stays hidden.
  opener.hide();
  picker.pickItems(Request::files, {}, [](Result) {});
  ASSERT_NE(shownDialog(), nullptr);
  EXPECT_EQ(shownDialog()->windowHandle()->transientParent(), nullptr);
  shownDialog()->reject();
  QApplication::processEvents();
  EXPECT_FALSE(opener.isVisible());
  QApplication::processEvents();  // lets the closed dialogs go
}

}  // namespace
}  // namespace tavrel
