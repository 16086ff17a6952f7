// Renders every registered view in each state to build/previews/<group>/<name>.png and writes an
// index page. Usage: tavrel_previews <output folder> [group ...]
#include <QApplication>
#include <QLocale>
#include <QQmlEngine>
#include <algorithm>
#include <fstream>
#include <iostream>
#include <string>

#include "previews/preview_canvas.h"
#include "qt_support/qt_test_environment.h"
#include "ui/interface_setup.h"
#include "ui/translations.h"

int main(int argc, char** argv) {
  tavrel::testing::prepareQtTestEnvironment();
  QApplication application(argc, argv);
  tavrel::ui::applyInterfaceDefaults();
  tavrel::ui::installTranslations(application, QLocale(QLocale::English, QLocale::UnitedStates));
  if (argc < 2) {
    std::cerr << "usage: tavrel_previews <output folder> [group ...]\n";
    return 2;
  }
  const std::filesystem::path output = argv[1];
  std::vector<std::string> wanted(argv + 2, argv + argc);

  std::ofstream index(output / "index.html");
  std::filesystem::create_directories(output);
  index.open(output / "index.html");
  index << "<!doctype html><meta charset=utf-8><title>Tavrel previews</title>"
           "<style>body{background:#111;color:#ddd;font:14px sans-serif}figure{display:inline-block;"
           "margin:12px;vertical-align:top}img{border:1px solid #333}</style>\n";
  int count = 0;
  for (const auto& group : tavrel::previews::previewGroups()) {
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), group.name) == wanted.end()) continue;
    QQmlEngine engine;
    tavrel::ui::prepareEngine(engine);
    tavrel::previews::PreviewCanvas canvas(engine, output / group.name);
    group.function(canvas);
    index << "<h2>" << group.name << "</h2>\n";
    for (const auto& file : canvas.written()) {
      const auto relative = std::filesystem::relative(file, output).string();
      index << "<figure><img src=\"" << relative << "\"><figcaption>" << file.stem().string()
            << "</figcaption></figure>\n";
      ++count;
    }
  }
  std::cout << "Wrote " << count << " previews and " << (output / "index.html").string() << '\n';
  return 0;
}
