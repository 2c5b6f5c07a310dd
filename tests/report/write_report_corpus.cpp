// Writes the images the README's picture of a report is made from
// (docs/report.png): the JSON program's fixtures (tests/json/json_corpus.h)
// and the hostile names (report_run.h), into one folder.
//
//   write_report_corpus FOLDER
//   vhdx-inspect-report -p FOLDER -o report.html
//   chromium --headless --no-sandbox --hide-scrollbars --window-size=1200,2600
//            --screenshot=docs/report.png file://$PWD/report.html   (one line)
#include <filesystem>
#include <iostream>

#include "json/json_corpus.h"
#include "report_run.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: write_report_corpus FOLDER\n";
    return 1;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  json_test::WriteFixtures(folder);
  report_test::WriteHostileNames(folder);
  return 0;
}
