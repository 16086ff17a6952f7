#include "shareextension/share_sheet_view_model.h"

#include <QCoreApplication>
#include <variant>

#include "shareextension/core/share_extension_item_loader.h"
#include "ui/translations.h"

namespace tavrel {
namespace {

// The share program's own texts with parts from data, handed down to the interface's translation.
const ui::CoreTextPatterns& sharePatterns() {
  static const ui::CoreTextPatterns patterns{ShareExtensionItemLoaderError::symbolicLinkPattern};
  return patterns;
}

}  // namespace

using namespace share_extension_state;

ShareSheetViewModel::ShareSheetViewModel(Actions actions, Thumbnails thumbnails, QObject* parent)
    : QObject(parent), actions_(std::move(actions)), thumbnails_(std::move(thumbnails)) {}

void ShareSheetViewModel::show(const ShareExtensionModel::State& state) {
  const std::vector<LoadedShareExtensionItem> none;
  const std::vector<LoadedShareExtensionItem>* items = &none;
  failureMessage_.clear();
  if (const auto* ready = std::get_if<Ready>(&state)) {
    phase_ = Phase::ready;
    items = &ready->items;
  } else if (const auto* handingOff = std::get_if<HandingOff>(&state)) {
    phase_ = Phase::handingOff;
    items = &handingOff->items;
  } else if (const auto* failed = std::get_if<Failed>(&state)) {
    phase_ = Phase::failed;
    failureMessage_ = ui::translatedCoreText(failed->message, sharePatterns());
    if (failed->items) items = &*failed->items;
  } else {
    phase_ = Phase::loading;
  }
  items_.setItems(*items);
  summary_ = summaryText(*items);
  emit changed();
}

ShareSheetViewModel::FooterAction ShareSheetViewModel::footerAction() const {
  switch (phase_) {
    case Phase::handingOff:
      return FooterAction::creating;
    case Phase::failed:
      return FooterAction::retry;
    case Phase::loading:
    case Phase::ready:
      break;
  }
  return FooterAction::createLink;
}

QString ShareSheetViewModel::phaseName() const {
  switch (phase_) {
    case Phase::loading:
      return QStringLiteral("loading");
    case Phase::ready:
      return QStringLiteral("ready");
    case Phase::handingOff:
      return QStringLiteral("handingOff");
    case Phase::failed:
      return QStringLiteral("failed");
  }
  return {};
}

QString ShareSheetViewModel::footerActionName() const {
  switch (footerAction()) {
    case FooterAction::createLink:
      return QStringLiteral("createLink");
    case FooterAction::creating:
      return QStringLiteral("creating");
    case FooterAction::retry:
      return QStringLiteral("retry");
  }
  return {};
}

void ShareSheetViewModel::createLink() {
  if (phase_ == Phase::ready && actions_.createLink) actions_.createLink();
}

void ShareSheetViewModel::retry() {
  if (phase_ == Phase::failed && actions_.retry) actions_.retry();
}

void ShareSheetViewModel::cancel() {
  if (actions_.cancel) actions_.cancel();
}

void ShareSheetViewModel::performDefaultAction() {
  if (phase_ == Phase::ready) return createLink();
  if (phase_ == Phase::failed) return retry();
}

std::unique_ptr<ShareItemThumbnailLoader> ShareSheetViewModel::makeThumbnailLoader() const {
  if (!thumbnails_.mainQueue || !thumbnails_.generator) return nullptr;
  return std::make_unique<ShareItemThumbnailLoader>(*thumbnails_.mainQueue, thumbnails_.generator);
}

QString ShareSheetViewModel::summaryText(const std::vector<LoadedShareExtensionItem>& items) {
  const auto count = static_cast<int>(items.size());
  QString text = QCoreApplication::translate("ShareSheet", "%n items", nullptr, count);
  std::int64_t total = 0;
  for (const auto& item : items) {
    if (item.handoffItem.kind == ShareHandoffItemKind::folder) return text;
    if (item.byteCount) total += *item.byteCount;
  }
  return text + QStringLiteral(" · ") + ShareItemListModel::byteCountText(total);
}

}  // namespace tavrel
