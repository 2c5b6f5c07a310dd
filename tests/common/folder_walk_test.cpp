// The folder walk both programs share, through a sink that records what it
// is handed: which names are images under each rule, the folders below with
// -r and links to folders left alone, the stop check before every entry
// (also of folders that hold no image), and the folder given when it cannot
// be walked.
#include "common/folder_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace vhdx_programs {
namespace {

namespace fs = std::filesystem;

// A folder of its own under the system's temporary folder, removed at the end.
class Scratch {
 public:
  Scratch() {
    std::random_device random;
    path_ = fs::temp_directory_path() / ("folder-walk-test-" + std::to_string(random()));
    fs::create_directories(path_);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void Touch(const fs::path& path) { std::ofstream(path) << "x"; }

class Recorder : public WalkSink {
 public:
  void BeforeEntry() override {
    ++entries;
    if (entries == stopAt) throw Stopped{};
  }
  void Image(const NamedPath& image) override { images.push_back(image.path); }
  void EntryNotExamined(const std::string& entry, const SystemCause& cause) override {
    lines.push_back("entry " + entry);
    statuses.push_back(cause.status);
  }
  void FolderMissing(const std::string& folder) override { lines.push_back("missing " + folder); }
  void NotAFolder(const std::string& folder) override { lines.push_back("not a folder " + folder); }
  void FolderNotListed(const std::string& folder, const SystemCause& cause) override {
    lines.push_back("listed " + folder);
    statuses.push_back(cause.status);
  }

  struct Stopped {};
  int stopAt = -1;
  int entries = 0;
  std::vector<std::string> images;
  std::vector<std::string> lines;
  std::vector<int> statuses;  // the system's code of each entry or folder that failed
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ImageExtension, ExactAndAnyCase) {
  struct Case {
    const char* extension;
    bool exact;
    bool anyCase;
  };
  const Case cases[] = {
      {".vhdx", true, true},   {".VHDX", false, true},   {".Vhdx", false, true}, {".vhdX", false, true},
      {".vhd", false, false},  {".vhdxx", false, false}, {"vhdx", false, false}, {"", false, false},
      {".vhdy", false, false}, {".VHD", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HasImageExtension(c.extension, ImageExtension::kExact), c.exact) << c.extension;
    EXPECT_EQ(HasImageExtension(c.extension, ImageExtension::kAnyCase), c.anyCase) << c.extension;
  }
}

// root: a.vhdx, B.VHDX, notes.txt, empty/, deep/inner/, sub/ (c.vhdx,
// D.Vhdx), folder.vhdx/ (e.vhdx).
TEST(WalkFolder, ImagesUnderEachRuleWithAndWithoutTheFoldersBelow) {
  Scratch scratch;
  const fs::path root = scratch.path();
  for (const char* name : {"a.vhdx", "B.VHDX", "notes.txt"}) Touch(root / name);
  fs::create_directories(root / "empty");
  fs::create_directories(root / "deep" / "inner");
  fs::create_directories(root / "sub");
  Touch(root / "sub" / "c.vhdx");
  Touch(root / "sub" / "D.Vhdx");
  fs::create_directories(root / "folder.vhdx");
  Touch(root / "folder.vhdx" / "e.vhdx");
  // `relative` with "/" between its parts, joined as the system joins them.
  const auto at = [&root](const std::string& relative) {
    return (root / fs::path(relative).make_preferred()).string();
  };

  struct Case {
    ImageExtension extension;
    bool recursive;
    std::vector<std::string> images;
    int entries;  // stop checks: one per entry listed
  };
  const Case cases[] = {
      {ImageExtension::kExact, false, {at("a.vhdx")}, 7},
      {ImageExtension::kAnyCase, false, {at("a.vhdx"), at("B.VHDX")}, 7},
      {ImageExtension::kExact, true, {at("a.vhdx"), at("sub/c.vhdx"), at("folder.vhdx/e.vhdx")}, 11},
      {ImageExtension::kAnyCase,
       true,
       {at("a.vhdx"), at("B.VHDX"), at("sub/c.vhdx"), at("sub/D.Vhdx"), at("folder.vhdx/e.vhdx")},
       11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.extension == ImageExtension::kExact ? "exact" : "any case") +
                 (c.recursive ? ", recursive" : ""));
    Recorder sink;
    WalkFolder({root.string(), true}, WalkRule{c.extension, c.recursive}, sink);
    EXPECT_EQ(Sorted(sink.images), Sorted(c.images));
    EXPECT_EQ(sink.entries, c.entries);
    EXPECT_TRUE(sink.lines.empty());
  }
}

// A folder met in the listing is walked where it is met: its images come
// between the images listed before and after it.
TEST(WalkFolder, AFolderBelowIsWalkedWhereItIsMet) {
  Scratch scratch;
  const fs::path root = scratch.path();
  std::vector<std::string> expected;
  for (int i = 0; i < 6; ++i) {
    fs::create_directories(root / ("f" + std::to_string(i)));
    Touch(root / ("f" + std::to_string(i)) / "image.vhdx");
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(root)) {
    expected.push_back((entry.path() / "image.vhdx").string());
  }
  Recorder sink;
  WalkFolder({root.string(), true}, WalkRule{ImageExtension::kExact, true}, sink);
  EXPECT_EQ(sink.images, expected);
}

TEST(WalkFolder, ALinkToAFolderIsNotFollowed) {
  Scratch scratch;
  const fs::path root = scratch.path() / "root";
  fs::create_directories(root);
  fs::create_directories(scratch.path() / "elsewhere");
  Touch(scratch.path() / "elsewhere" / "away.vhdx");
  std::error_code error;
  fs::create_directory_symlink(scratch.path() / "elsewhere", root / "link", error);
  if (error) GTEST_SKIP() << "no symbolic link here: " << error.message();
  fs::create_directory_symlink(root, root / "loop");
  Touch(root / "here.vhdx");
  Recorder sink;
  WalkFolder({root.string(), true}, WalkRule{ImageExtension::kExact, true}, sink);
  EXPECT_EQ(sink.images, std::vector<std::string>{(root / "here.vhdx").string()});
  EXPECT_EQ(sink.lines, std::vector<std::string>{}) << "a link is no problem to report";
}

// The stop check comes before every entry, also in a long run of folders
// without any image: a sink that stops the walk there ends it at once.
TEST(WalkFolder, TheStopCheckEndsAWalkOfEmptyFolders) {
  Scratch scratch;
  const fs::path root = scratch.path();
  for (int i = 0; i < 200; ++i) fs::create_directories(root / std::string("d").append(std::to_string(i)) / "empty");
  Touch(root / "image.vhdx");
  Recorder all;
  WalkFolder({root.string(), true}, WalkRule{ImageExtension::kExact, true}, all);
  EXPECT_EQ(all.entries, 401);
  for (const int stopAt : {1, 2, 150, 400}) {
    Recorder sink;
    sink.stopAt = stopAt;
    EXPECT_THROW(WalkFolder({root.string(), true}, WalkRule{ImageExtension::kExact, true}, sink), Recorder::Stopped);
    EXPECT_EQ(sink.entries, stopAt);
  }
}

TEST(WalkFolder, AFolderThatCannotBeWalked) {
  Scratch scratch;
  Touch(scratch.path() / "file.vhdx");
  const std::string missing = (scratch.path() / "missing").string();
  const std::string file = (scratch.path() / "file.vhdx").string();
  // Built with append, not operator+: GCC 12 at -O3 (the mingw-w64 build)
  // warns falsely about a string concatenated into an aggregate.
  const auto line = [](const char* what, const std::string& path) { return std::string(what).append(path); };
  const std::string inexact = std::string(scratch.path().string()).append("?");
  struct Case {
    NamedPath folder;
    std::string line;
  };
  std::vector<Case> cases;
  cases.push_back({NamedPath{missing, true}, line("missing ", missing)});
  cases.push_back({NamedPath{file, true}, line("not a folder ", file)});
  // A name that is not exact is never opened: shown as given, missing.
  cases.push_back({NamedPath{inexact, false}, line("missing ", inexact)});
  cases.push_back({NamedPath{scratch.path().string(), false}, line("missing ", scratch.path().string())});
  for (const Case& c : cases) {
    Recorder sink;
    WalkFolder(c.folder, WalkRule{ImageExtension::kAnyCase, true}, sink);
    EXPECT_EQ(sink.lines, std::vector<std::string>{c.line});
    EXPECT_TRUE(sink.images.empty());
    EXPECT_EQ(sink.entries, 0);
  }
}

// A status or listing that fails may have been cut short by a signal
// (EINTR): the stop check comes before its line, so a sink that stops there
// writes no such line. A link to itself fails every status (ELOOP), also for
// root; the line's cause carries that code beside its text.
TEST(WalkFolder, TheStopCheckComesBeforeAnEntryOrFolderThatFails) {
  Scratch scratch;
  const fs::path root = scratch.path() / "root";
  fs::create_directories(root);
  std::error_code error;
  fs::create_symlink("loop.vhdx", root / "loop.vhdx", error);
  if (error) GTEST_SKIP() << "no symbolic link here: " << error.message();
  fs::create_symlink("looping", scratch.path() / "looping");
  const std::string loop = (root / "loop.vhdx").string();
  const std::string looping = (scratch.path() / "looping").string();

  struct Case {
    std::string folder;
    std::string line;
    int checks;  // the stop checks of the whole walk: the entry's and the line's
  };
  const Case cases[] = {
      {root.string(), "entry " + loop, 2},
      {looping, "listed " + looping, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    Recorder all;
    WalkFolder({c.folder, true}, WalkRule{ImageExtension::kExact, true}, all);
    EXPECT_EQ(all.lines, std::vector<std::string>{c.line});
    EXPECT_EQ(all.entries, c.checks);
#ifndef _WIN32
    EXPECT_EQ(all.statuses, std::vector<int>{ELOOP});
#endif
    Recorder stopped;
    stopped.stopAt = c.checks;
    EXPECT_THROW(WalkFolder({c.folder, true}, WalkRule{ImageExtension::kExact, true}, stopped), Recorder::Stopped);
    EXPECT_TRUE(stopped.lines.empty()) << stopped.lines.front();
  }
}

}  // namespace
}  // namespace vhdx_programs
