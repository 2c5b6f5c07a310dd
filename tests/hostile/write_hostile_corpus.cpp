// Writes every entry of the hostile corpus into a new directory, for runs of
// the tool outside the test binary (under valgrind, by hand):
//
//   write_hostile_corpus <directory>
#include <filesystem>
#include <iostream>

#include "hostile_corpus.h"

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: write_hostile_corpus <directory>\n";
    return 2;
  }
  try {
    std::filesystem::create_directories(argv[1]);
    hostile::WriteCorpus(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "write_hostile_corpus: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
