#include "ui/symbols.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <string>

namespace tavrel::ui {
namespace {

bool hasVisiblePixel(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) > 0) return true;
    }
  }
  return false;
}

QString qString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

TEST(SymbolsTest, TheTableIsSortedWithoutRepeats) {
  const auto names = knownSymbolNames();
  ASSERT_FALSE(names.empty());
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_EQ(std::adjacent_find(names.begin(), names.end()), names.end());
}

TEST(SymbolsTest, EveryNameInTheTableDrawsSomething) {
  for (const auto name : knownSymbolNames()) {
    SCOPED_TRACE(std::string(name));
    const auto path = symbolImagePath(name);
    ASSERT_TRUE(path);
    EXPECT_TRUE(QFile::exists(*path)) << path->toStdString();
    for (const int size : {14, 32}) {
      const auto image = renderSymbol(name, QSize(size, size), Qt::black);
      ASSERT_FALSE(image.isNull());
      EXPECT_EQ(image.size(), QSize(size, size));
      EXPECT_TRUE(hasVisiblePixel(image));
    }
  }
}

TEST(SymbolsTest, AnUnknownNameDrawsNothing) {
  EXPECT_FALSE(symbolImagePath("no.such.symbol"));
  EXPECT_TRUE(renderSymbol("no.such.symbol", QSize(16, 16), Qt::black).isNull());
  EXPECT_TRUE(renderSymbol("doc", QSize(0, 16), Qt::black).isNull());
}

TEST(SymbolsTest, SymbolsAreDrawnInTheAskedColourOnly) {
  const auto image = renderSymbol("checkmark.circle.fill", QSize(32, 32), QColor(200, 10, 10))
                         .convertToFormat(QImage::Format_ARGB32);
  const QColor centreLeft = image.pixelColor(4, 16);  // inside the disc, clear of the check
  EXPECT_EQ(centreLeft.alpha(), 255);
  EXPECT_EQ(centreLeft.rgb(), QColor(200, 10, 10).rgb());
}

TEST(SymbolsTest, EveryOwnSymbolFileIsInTheTable) {
  QSet<QString> referenced;
  for (const auto name : knownSymbolNames()) referenced.insert(*symbolImagePath(name));
  const auto files = QDir(QStringLiteral(":/tavrel/symbols")).entryList(QDir::Files);
  EXPECT_FALSE(files.isEmpty());
  for (const auto& file : files)
    EXPECT_TRUE(referenced.contains(":/tavrel/symbols/" + file)) << file.toStdString();
}

// ---- Names used in the program's sources ----

// Dotted literals that are not symbols: reverse-domain identifiers, our own keys, file names.
bool isOtherDottedName(const QString& literal) {
  static const QStringList prefixes = {"com.", "org.", "io.", "net.", "group.", "tavrel.", "qt."};
  static const QRegularExpression fileName(QStringLiteral(
      R"(\.(svg|png|jpg|qml|js|json|txt|md|html|desktop|service|xml|ini|conf|log|lock|sock|tmp|part|so|cpp|h)$)"));
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const QString& prefix) { return literal.startsWith(prefix); }) ||
         fileName.match(literal).hasMatch();
}

struct Use {
  QString name;
  QString where;
};

// Every string literal on the rest of the line after a symbol property or parameter, so that
// `systemImage: copied ? "checkmark" : "square.on.square"` yields both.
void collectLiteralsAfter(const QString& text, const QRegularExpression& key, const QString& file,
                          QList<Use>& uses, qsizetype firstLine = 1) {
  static const QRegularExpression literal(QStringLiteral(R"re("([^"\\\n]*)")re"));
  for (auto match = key.globalMatch(text); match.hasNext();) {
    const auto found = match.next();
    const auto lineEnd = text.indexOf(QLatin1Char('\n'), found.capturedEnd());
    const auto rest = text.mid(found.capturedEnd(), lineEnd < 0 ? -1 : lineEnd - found.capturedEnd());
    for (auto inner = literal.globalMatch(rest); inner.hasNext();) {
      const auto value = inner.next().captured(1);
      if (!value.isEmpty())
        uses.append(
            {value, file + ":" + QString::number(firstLine + text.left(found.capturedStart()).count('\n'))});
    }
  }
}

// `name:` inside a SymbolImage { ... } block of QML (braces counted).
void collectSymbolImageNames(const QString& text, const QString& file, QList<Use>& uses) {
  static const QRegularExpression open(QStringLiteral(R"(\bSymbolImage\s*\{)"));
  static const QRegularExpression nameKey(QStringLiteral(R"(\bname\s*:)"));
  for (auto match = open.globalMatch(text); match.hasNext();) {
    const auto found = match.next();
    int depth = 1;
    qsizetype end = found.capturedEnd();
    while (end < text.size() && depth > 0) {
      if (text[end] == '{') ++depth;
      if (text[end] == '}') --depth;
      ++end;
    }
    const auto block = text.mid(found.capturedEnd(), end - found.capturedEnd());
    collectLiteralsAfter(block, nameKey, file, uses, text.left(found.capturedEnd()).count('\n') + 1);
  }
}

QList<Use> symbolNamesUsedIn(const QString& root) {
  static const QRegularExpression dotted(QStringLiteral(R"("([a-z][a-z0-9]*(\.[a-z0-9]+)+)\")"));
  static const QRegularExpression key(QStringLiteral(
      R"(\b(systemImage|systemName|symbolName|symbol|iconName)\s*(:|=|\()|image://symbol/|\b(renderSymbol|drawBadge)\s*\()"));
  static const QRegularExpression providerUrl(QStringLiteral(R"(image://symbol/([a-z][a-z0-9.]*))"));
  QList<Use> uses;
  QDirIterator files(root, {"*.cpp", "*.h", "*.qml"}, QDir::Files, QDirIterator::Subdirectories);
  while (files.hasNext()) {
    const auto path = files.next();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) continue;
    const auto text = QString::fromUtf8(file.readAll());
    const auto where = QDir(root).relativeFilePath(path);
    for (auto match = dotted.globalMatch(text); match.hasNext();) {
      const auto found = match.next();
      if (!isOtherDottedName(found.captured(1))) uses.append({found.captured(1), where});
    }
    collectLiteralsAfter(text, key, where, uses);
    for (auto match = providerUrl.globalMatch(text); match.hasNext();)
      uses.append({match.next().captured(1), where});
    collectSymbolImageNames(text, where, uses);
  }
  return uses;
}

TEST(SymbolsTest, EverySymbolNameTheProgramUsesIsInTheTable) {
  QSet<QString> known;
  for (const auto name : knownSymbolNames()) known.insert(qString(name));
  const auto uses = symbolNamesUsedIn(QStringLiteral(TAVREL_SOURCE_DIR));
  // The scan finds the status icon's badges, so it does look at the sources.
  EXPECT_TRUE(std::any_of(uses.begin(), uses.end(),
                          [](const Use& use) { return use.name == "arrow.up.circle.fill"; }));
  // Other literals on a symbol's line ("?" before a colour, a label) do not have a symbol's shape.
  static const QRegularExpression shape(QStringLiteral(R"(^[a-z][a-z0-9]*(\.[a-z0-9]+)*$)"));
  for (const auto& use : uses) {
    if (!shape.match(use.name).hasMatch()) continue;
    EXPECT_TRUE(known.contains(use.name)) << use.name.toStdString() << " used in " << use.where.toStdString();
  }
}

}  // namespace
}  // namespace tavrel::ui
