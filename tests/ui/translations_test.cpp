#include "ui/translations.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include "service/direct_upload_error.h"
#include "platform/translatable_text.h"
#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_preparation_error.h"

namespace tavrel::ui {
namespace {

// A pattern of a program above the interface, which hands it down.
constexpr const char* handedDownPattern = "“%1” went missing on the way.";

// Answers a few core texts in upper case, as a translation would.
class UpperCaseCore final : public QTranslator {
 public:
  QString translate(const char* context, const char* source, const char*, int) const override {
    const QString text = QString::fromUtf8(source);
    if (qstrcmp(context, "Core") != 0) return {};
    if (text == QString::fromUtf8(TransferPreparationError::unreadablePattern) ||
        text == QString::fromUtf8(RecoverableTransferFailure::unavailableItemsPattern) ||
        text == QString::fromUtf8(handedDownPattern) ||
        text == QStringLiteral("No transferable files were found in this selection.")) {
      return text.toUpper();
    }
    return {};
  }
  bool isEmpty() const override { return false; }
};

TEST(TranslatedCoreText, FindsTheTextOrThePatternItWasFilledFromAndLeavesDataAlone) {
  UpperCaseCore translator;
  QCoreApplication::installTranslator(&translator);
  const auto translated = [](const std::string& text) { return translatedCoreText(text).toStdString(); };
  EXPECT_EQ(translated(TransferPreparationError::noTransferableFiles().localizedDescription()),
            "NO TRANSFERABLE FILES WERE FOUND IN THIS SELECTION.");
  // The name is taken back from the English text whole, whatever it holds, and kept as it was.
  EXPECT_EQ(translated(TransferPreparationError::cannotRead("Notes (%1) “draft”.txt").localizedDescription()),
            "TAVREL COULDN’T READ “Notes (%1) “draft”.txt”. CHECK ITS PERMISSIONS AND TRY AGAIN.");
  // Two parts, filled in one pass: the "%2" in the name stays the name's.
  EXPECT_EQ(translated(platform::fillText(RecoverableTransferFailure::unavailableItemsPattern, {"a %2 b", "3"})),
            "“a %2 b” AND 3 MORE WERE MOVED OR DELETED AFTER THEY WERE SHARED.");
  // A pattern without a translation reads in English; a message from the service as it came.
  EXPECT_EQ(translated(DirectUploadError::http(503).errorDescription()),
            DirectUploadError::http(503).errorDescription());
  EXPECT_EQ(translated("Storage is closed for maintenance."), "Storage is closed for maintenance.");
  QCoreApplication::removeTranslator(&translator);
}

TEST(TranslatedCoreText, APatternIsMatchedOnlyWhereItsOwnerHandsItDown) {
  UpperCaseCore translator;
  QCoreApplication::installTranslator(&translator);
  const auto text = platform::fillText(handedDownPattern, {"Notes %1.txt"});
  EXPECT_EQ(translatedCoreText(text).toStdString(), text);
  const CoreTextPatterns handedDown{handedDownPattern};
  EXPECT_EQ(translatedCoreText(text, handedDown).toStdString(), "“Notes %1.txt” WENT MISSING ON THE WAY.");
  QCoreApplication::removeTranslator(&translator);
}

TEST(InstallTranslations, FallsBackToEnglishWhosePluralFormsTheCatalogueCarries) {
  EXPECT_EQ(installTranslations(*QCoreApplication::instance(), QLocale(QLocale::Swahili, QLocale::Kenya)),
            QStringLiteral("en_US"));
  // Read from the catalogue itself: the test program has English installed already.
  QTranslator english;
  ASSERT_TRUE(english.load(QStringLiteral(":/i18n/tavrel_en")));
  EXPECT_EQ(english.translate("ShareSheet", "%n items", nullptr, 1), QStringLiteral("%n item"));
  EXPECT_EQ(english.translate("ShareSheet", "%n items", nullptr, 3), QStringLiteral("%n items"));
  // Counts joined to a sentence have their plural forms too.
  EXPECT_EQ(english.translate("MenuBarStatus", "%1, %n failed", nullptr, 2), QStringLiteral("%1, %n failed"));
  EXPECT_EQ(english.translate("MenuBarStatus", "%1, %n queued", nullptr, 1), QStringLiteral("%1, %n queued"));
}

}  // namespace
}  // namespace tavrel::ui
