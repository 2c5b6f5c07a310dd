// The images the JSON program's tests run on: a table of fixtures, each
// with what its JSON object must say, and the hostile corpus
// (tests/hostile/hostile_corpus.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace json_test {

// One GPT finding or warning as the object names it.
struct Named {
  std::string check;
  std::optional<std::string> header;  // "primary" or "backup"
  bool operator==(const Named&) const = default;
};

struct Fixture {
  std::string name;                                         // the file name, "<what>.vhdx"
  std::function<void(const std::filesystem::path&)> write;  // nothing for a missing file
  std::string verdict;
  std::string failureCheck;  // empty: no failure
  std::vector<Named> findings;
  std::vector<Named> warnings;
};

// Every fixture.
const std::vector<Fixture>& Fixtures();

// Writes every fixture that is a file into `directory`.
void WriteFixtures(const std::filesystem::path& directory);

// The corpus: the fixtures in `directory`/fixtures, the hostile corpus in
// `directory`/hostile.
void WriteCorpus(const std::filesystem::path& directory);

}  // namespace json_test
