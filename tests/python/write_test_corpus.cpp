// Writes the images the Python suite runs on: the JSON suite's fixtures
// (one image per verdict and finding) in <folder>/fixtures and the hostile
// corpus in <folder>/hostile (tests/json/json_corpus.h).
//
//   write_test_corpus <folder>
#include <exception>
#include <filesystem>
#include <iostream>

#include "json/json_corpus.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: write_test_corpus <folder>\n";
    return 2;
  }
  try {
    json_test::WriteCorpus(std::filesystem::path(argv[1]));
  } catch (const std::exception& e) {
    std::cerr << "write_test_corpus: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
