#include "ui/translations.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>
#include <utility>
#include <vector>

#include "service/changed_file_error.h"
#include "service/direct_upload_error.h"
#include "sharehandoff/share_handoff_storage_error.h"
#include "transfer/transfer_feature_state.h"
#include "transfer/transfer_preparation_error.h"

namespace tavrel::ui {
namespace {

constexpr const char* coreContext = "Core";

// "Tavrel couldn’t read “%1”." as an expression that captures each part.
QRegularExpression matcher(const QString& pattern) {
  static const QRegularExpression placeholder(QStringLiteral("%([1-9])"));
  QString expression = QStringLiteral("\\A");
  qsizetype start = 0;
  auto matches = placeholder.globalMatch(pattern);
  while (matches.hasNext()) {
    const auto match = matches.next();
    expression += QRegularExpression::escape(pattern.mid(start, match.capturedStart() - start));
    expression += QStringLiteral("(.*)");
    start = match.capturedEnd();
  }
  expression += QRegularExpression::escape(pattern.mid(start)) + QStringLiteral("\\z");
  return QRegularExpression(expression, QRegularExpression::DotMatchesEverythingOption);
}

// The patterns of the core beneath the interface, made once: every failure row asks again as it is
// shown.
const CoreTextPatterns& interfacePatterns() {
  static const CoreTextPatterns patterns{
      TransferPreparationError::unreadablePattern,         TransferPreparationError::symbolicLinkPattern,
      ShareHandoffStorageError::fileAccessPattern,         DirectUploadError::descriptionPattern,
      ChangedFileError::descriptionPattern,                RecoverableTransferFailure::unavailableItemPattern,
      RecoverableTransferFailure::unavailableItemsPattern};
  return patterns;
}

}  // namespace

CoreTextPatterns::CoreTextPatterns(std::initializer_list<const char*> patterns) {
  for (const char* pattern : patterns) matchers_.emplace_back(pattern, matcher(QString::fromUtf8(pattern)));
}

std::optional<QString> CoreTextPatterns::translate(const QString& english) const {
  for (const auto& [pattern, expression] : matchers_) {
    const auto match = expression.match(english);
    if (!match.hasMatch()) continue;
    const QString result = QCoreApplication::translate(coreContext, pattern);
    // One pass over the pattern: a name that holds "%2" is never filled again.
    if (match.lastCapturedIndex() == 2) return result.arg(match.captured(1), match.captured(2));
    return result.arg(match.captured(1));
  }
  return std::nullopt;
}

QString installTranslations(QCoreApplication& application, const QLocale& locale) {
  auto* translator = new QTranslator(&application);
  if (translator->load(locale, QStringLiteral("tavrel"), QStringLiteral("_"), QStringLiteral(":/i18n")) ||
      translator->load(QStringLiteral(":/i18n/tavrel_en"))) {
    QCoreApplication::installTranslator(translator);
    return translator->language();
  }
  delete translator;
  return {};
}

QString translatedCoreText(std::string_view text) {
  static const CoreTextPatterns none{};
  return translatedCoreText(text, none);
}

QString translatedCoreText(std::string_view text, const CoreTextPatterns& more) {
  const std::string source(text);
  const QString english = QString::fromStdString(source);
  const QString translated = QCoreApplication::translate(coreContext, source.c_str());
  if (translated != english) return translated;
  if (auto filled = interfacePatterns().translate(english)) return *filled;
  if (auto filled = more.translate(english)) return *filled;
  return english;
}

}  // namespace tavrel::ui
