#include "menubar/popover_recent_model.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace tavrel::testing {
namespace {

using namespace std::chrono_literals;

RecentTransfer transfer(const std::string& id, const std::string& title = "Photos") {
  RecentTransfer recent;
  recent.id = id;
  recent.title = title;
  recent.fileCount = 1;
  recent.totalBytes = 1'200'000;
  recent.createdAt = std::chrono::system_clock::time_point(100h);
  recent.downloadSlug = "slug-" + id;
  return recent;
}

// What a view of the model is told, one line a change.
class RecentModelTest : public ::testing::Test {
 public:
  void SetUp() override {
    QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { changes << "reset"; });
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [this](const QModelIndex&, int first, int last) { changes << row("insert", first, last); });
    QObject::connect(&model, &QAbstractItemModel::rowsRemoved,
                     [this](const QModelIndex&, int first, int last) { changes << row("remove", first, last); });
    QObject::connect(&model, &QAbstractItemModel::rowsMoved,
                     [this](const QModelIndex&, int first, int, const QModelIndex&, int to) {
                       changes << QStringLiteral("move %1 to %2").arg(first).arg(to);
                     });
    QObject::connect(&model, &QAbstractItemModel::dataChanged,
                     [this](const QModelIndex& first, const QModelIndex& last, const QList<int>& roles) {
                       changes << row(roles.isEmpty() ? "change" : "age", first.row(), last.row());
                     });
  }

  static QString row(const char* what, int first, int last) {
    return QStringLiteral("%1 %2").arg(QLatin1String(what)).arg(first) +
           (first == last ? QString() : QStringLiteral("-%1").arg(last));
  }

  QStringList rows() const {
    QStringList shown;
    for (int index = 0; index < model.rowCount(); ++index) {
      shown << model.data(model.index(index), PopoverRecentModel::TransferIDRole).toString() + ":" +
                   model.data(model.index(index), PopoverRecentModel::TitleRole).toString() + ":" +
                   model.data(model.index(index), PopoverRecentModel::SymbolNameRole).toString();
    }
    return shown;
  }

  const std::chrono::system_clock::time_point now{102h};
  PopoverRecentModel model{[](const auto&, std::int64_t, const std::string& title) { return "symbol-" + title; }};
  QStringList changes;
};

// After a big transfer the list comes back with the new transfer on top and the oldest pushed out:
// the rows that stay (the one under the pointer among them) must not be rebuilt.
TEST_F(RecentModelTest, ANewTransferOnTopInsertsOneRowAndKeepsTheOthers) {
  model.setTransfers({transfer("a", "A"), transfer("b", "B"), transfer("c", "C")}, now);
  changes.clear();
  model.setTransfers({transfer("n", "New"), transfer("a", "A"), transfer("b", "B")}, now);
  EXPECT_EQ(changes, (QStringList{"remove 2", "insert 0"}));
  EXPECT_EQ(rows(), (QStringList{"n:New:symbol-New", "a:A:symbol-A", "b:B:symbol-B"}));

  // The same list an hour later changes the ages only.
  changes.clear();
  model.setTransfers({transfer("n", "New"), transfer("a", "A"), transfer("b", "B")}, now + 1h);
  EXPECT_EQ(changes, (QStringList{"age 0", "age 1", "age 2"}));
}

TEST_F(RecentModelTest, RowsThatStayAreMovedAndChangedWhereTheyAreAndTheRestGo) {
  model.setTransfers({transfer("a", "A"), transfer("b", "B"), transfer("c", "C"), transfer("d", "D")}, now);
  model.setCopiedTransferID("c");
  changes.clear();
  model.setTransfers({transfer("c", "C"), transfer("a", "A renamed"), transfer("e", "E")}, now);
  EXPECT_EQ(changes, (QStringList{"remove 3", "remove 1", "move 1 to 0", "change 1", "insert 2"}));
  EXPECT_EQ(rows(), (QStringList{"c:C:symbol-C", "a:A renamed:symbol-A renamed", "e:E:symbol-E"}));
  EXPECT_TRUE(model.data(model.index(0), PopoverRecentModel::IsCopiedRole).toBool());

  changes.clear();
  model.setTransfers({}, now);
  EXPECT_EQ(changes, (QStringList{"remove 2", "remove 1", "remove 0"}));
  EXPECT_EQ(model.count(), 0);
}

}  // namespace
}  // namespace tavrel::testing
