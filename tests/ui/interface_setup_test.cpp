#include "ui/interface_setup.h"

#include <gtest/gtest.h>

#include <QProcessEnvironment>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace tavrel::ui {
namespace {

TEST(SceneGraphBackend, ABackendNamedInTheEnvironmentIsTheUsersChoice) {
  EXPECT_FALSE(environmentChoosesSceneGraphBackend(QProcessEnvironment()));
  for (const auto& [name, value] : {std::pair{"QT_QUICK_BACKEND", "rhi"}, std::pair{"QMLSCENE_DEVICE", "software"},
                                    std::pair{"QSG_RHI_BACKEND", "opengl"}}) {
    QProcessEnvironment environment;
    environment.insert(QString::fromLatin1(name), QString::fromLatin1(""));
    EXPECT_FALSE(environmentChoosesSceneGraphBackend(environment)) << name << " set but empty";
    environment.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    EXPECT_TRUE(environmentChoosesSceneGraphBackend(environment)) << name;
  }
}

TEST(SceneGraphBackend, WithoutAChoiceTheSoftwareRendererDraws) {
  // The test programs name the software backend themselves; this test needs the environment clear.
  const std::array names{"QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI_BACKEND"};
  std::vector<std::optional<QByteArray>> saved;
  for (const char* name : names) {
    saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    qunsetenv(name);
  }
  applyInterfaceDefaults();
  EXPECT_EQ(QQuickWindow::sceneGraphBackend(), QStringLiteral("software"));
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (saved[i]) qputenv(names[i], *saved[i]);
  }
}

}  // namespace
}  // namespace tavrel::ui
