#include <gtest/gtest.h>

#include <QQmlEngine>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>
#include <memory>

#include "platform/manual_main_queue.h"
#include "qt_support/qt_test_environment.h"
#include "shareextension/share_program_context.h"
#include "shareextension/share_view_controller.h"

Q_IMPORT_QML_PLUGIN(Tavrel_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(Tavrel_SharePlugin)

namespace tavrel {
namespace {

// Counts how often the model asks for the shared items, i.e. how often it started loading.
class CountingContext final : public ShareExtensionContext {
 public:
  std::vector<ShareExtensionAttachment> inputItems() const override {
    ++loads;
    return {};
  }
  void completeRequest() override { ++completed; }
  void cancelRequest() override { ++cancelled; }
  mutable int loads = 0;
  int completed = 0;
  int cancelled = 0;
};

class NeverOpens final : public ShareApplicationOpening {
 public:
  void openMainApplication(Completion) override {}
};

class ShareViewControllerTest : public ::testing::Test {
 protected:
  ShareViewControllerTest() { tavrel::testing::prepareQuickTestEngine(engine); }

  platform::ManualMainQueue queue;
  QQmlEngine engine;
  std::shared_ptr<CountingContext> context = std::make_shared<CountingContext>();
  ShareViewController controller{ShareViewController::Dependencies{
      engine, ShareExtensionModel::Services{queue, context, nullptr, std::make_shared<NeverOpens>()}, {}}};
};

TEST_F(ShareViewControllerTest, TheModelStartsOnceWhenTheSheetFirstAppears) {
  controller.loadView();
  ASSERT_TRUE(controller.view());
  EXPECT_EQ(controller.view()->size(), QSize(420, 430));
  EXPECT_FALSE(controller.view()->isVisible());
  EXPECT_TRUE(std::holds_alternative<share_extension_state::Loading>(controller.model()->state()));
  queue.runUntilIdle();
  EXPECT_EQ(context->loads, 0);
  EXPECT_FALSE(controller.didStart());

  controller.showView();
  EXPECT_TRUE(controller.didStart());
  queue.runUntilIdle();
  EXPECT_EQ(context->loads, 1);
  // The sheet follows the model: nothing was shared.
  EXPECT_EQ(controller.viewModel()->phase(), ShareSheetViewModel::Phase::failed);

  controller.view()->hide();
  controller.showView();
  queue.runUntilIdle();
  EXPECT_EQ(context->loads, 1);
}

TEST_F(ShareViewControllerTest, ClosingTheWindowIsCancel) {
  controller.loadView();
  controller.showView();
  controller.view()->close();
  EXPECT_EQ(context->cancelled, 1);
  EXPECT_TRUE(controller.view()->isVisible());  // it goes when the request has ended
  controller.closeView();
  EXPECT_FALSE(controller.view()->isVisible());
}

TEST_F(ShareViewControllerTest, LoadingTheViewAgainReplacesTheModel) {
  controller.loadView();
  auto* first = controller.model();
  controller.loadView();
  EXPECT_NE(controller.model(), first);
  controller.showView();
  queue.runUntilIdle();
  EXPECT_EQ(context->loads, 1);
}

TEST(ShareProgramContextTest, EveryArgumentIsOneItemAndTheRequestEndsOnce) {
  const auto parsed = ShareProgramContext::parseArguments({"--create-link", "/home/ada/a b.txt", "", "--", "-x"});
  EXPECT_TRUE(parsed.createsLinkAtOnce);
  ASSERT_EQ(parsed.attachments.size(), 4u);
  EXPECT_EQ(parsed.attachments[0].location, "/home/ada/a b.txt");
  EXPECT_EQ(parsed.attachments[1].location, "");
  EXPECT_EQ(parsed.attachments[2].location, "--");  // options end at the first item
  EXPECT_EQ(parsed.attachments[3].location, "-x");
  const auto quoted = ShareProgramContext::parseArguments({"--", "--create-link"});
  EXPECT_FALSE(quoted.createsLinkAtOnce);
  EXPECT_EQ(quoted.attachments.size(), 1u);
  // Options not ours are refused, before the items only; "--help" is never taken as an item there.
  const auto unknown = ShareProgramContext::parseArguments({"-", "--verbose"});
  EXPECT_EQ(unknown.unknownOption, "");  // "-" alone names an item
  EXPECT_EQ(unknown.attachments.size(), 2u);
  const auto refused = ShareProgramContext::parseArguments({"--create-link", "-x", "--bogus", "a"});
  EXPECT_EQ(refused.unknownOption, "-x");
  const auto help = ShareProgramContext::parseArguments({"--help", "--version"});
  EXPECT_TRUE(help.showsHelp && help.showsVersion && help.attachments.empty() && help.unknownOption.empty());

  ShareProgramContext context({});
  std::vector<int> statuses;
  QObject::connect(&context, &ShareProgramContext::finished, [&](int status) { statuses.push_back(status); });
  context.completeRequest();
  context.cancelRequest();  // a late Cancel does not turn the acceptance into a cancellation
  EXPECT_EQ(statuses, (std::vector<int>{ShareProgramContext::acceptedStatus}));
}

}  // namespace
}  // namespace tavrel
