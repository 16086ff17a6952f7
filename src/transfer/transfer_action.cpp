#include "transfer/transfer_action.h"

namespace tavrel {

bool requiresTransferPermission(const TransferAction& action) {
  using namespace transfer_action;
  return std::visit(
      [](const auto& request) {
        using Request = std::decay_t<decltype(request)>;
        return std::is_same_v<Request, ChooseDifferentItems> || std::is_same_v<Request, SelectedURLs> ||
               std::is_same_v<Request, EnqueueURLs> || std::is_same_v<Request, EnqueueSubmission> ||
               std::is_same_v<Request, RetryTransfer> || std::is_same_v<Request, OpenChooser> ||
               std::is_same_v<Request, ChooseFiles> || std::is_same_v<Request, ChooseFolder> ||
               std::is_same_v<Request, ChooseItems> || std::is_same_v<Request, StartTransfer> ||
               std::is_same_v<Request, RetryFailedTransfer> || std::is_same_v<Request, StartNewTransfer>;
      },
      action);
}

}  // namespace tavrel
