#pragma once

// A translator that answers every text of the translation catalogue with the text in double square
// brackets ("Upload Files" → "[[Upload Files]]"), so a view shown under it tells the texts that went
// through the catalogue from those that did not.

#include <QSet>
#include <QString>
#include <QTranslator>

namespace tavrel::testing {

class PseudoTranslator final : public QTranslator {
 public:
  // Reads the catalogue's contexts and source texts from a Qt Linguist .ts file.
  explicit PseudoTranslator(const QString& catalogueFile);

  QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                    int n = -1) const override;
  bool isEmpty() const override { return false; }

  int catalogueSize() const { return static_cast<int>(catalogue_.size()); }
  // Texts looked up under a context of the catalogue that the catalogue lacks ("context: text"):
  // a translated call the translation tools did not collect, or a view translating its data.
  QStringList misses() const;

 private:
  QSet<QString> catalogue_;
  mutable QSet<QString> misses_;
};

// Wraps a text as the pseudo-translation shows it.
QString pseudoTranslated(const QString& text);

}  // namespace tavrel::testing
