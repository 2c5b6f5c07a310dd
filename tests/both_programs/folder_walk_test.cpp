// The folder walk both programs make with -p: which entries are images, in
// the order the file system lists them, and the line each program writes
// for a folder it cannot walk and an entry it cannot examine. The text
// program takes ".vhdx" exactly; vhdx-inspect-json takes it in any case.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "both_programs.h"
#include "e2e/expected_text.h"
#include "e2e/platform_expectations.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"
#include "support/unprivileged.h"

namespace both_programs {
namespace {

namespace fs = std::filesystem;
using testsupport::PluginImage;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

std::string SystemMessage(int error) { return std::system_category().message(error); }

void Touch(const fs::path& path, const std::string& text = "") { std::ofstream(path) << text; }

// What a program reports for the entries of `folder` (as given) in listing
// order, each entry's report given by name; names without one report nothing.
std::vector<Reported> InListingOrder(const fs::path& folder, const std::map<std::string, Reported>& reportOf) {
  std::vector<Reported> reported;
  for (const std::string& name : e2e::NamesInListingOrder(folder)) {
    const auto found = reportOf.find(name);
    if (found != reportOf.end()) reported.push_back(found->second);
  }
  return reported;
}

// Runs `program` as an ordinary user, for whom permissions hold (as root:
// as testsupport::UnprivilegedAccount() after `files` was handed to it).
ProgramRun RunAsOrdinaryUser(const Program& program, const ScratchDirectory& files,
                             const std::vector<std::string>& arguments) {
  testsupport::RunLimits limits;
  limits.as = testsupport::UnprivilegedAccount();
  if (limits.as) testsupport::HandOver(files.path(), *limits.as);
  return program.Run(arguments, limits);
}

// image.vhdx for both; BACKUP.VHDX and x.Vhdx for vhdx-inspect-json only;
// names that only look like images, a folder named like one and the images
// below it for neither.
TEST(FolderWalk, WhichEntriesAreImages) {
  ScratchDirectory scratch;
  const fs::path dir = scratch.path();
  const PluginImage image = PluginImage::Build(e2e::WithoutTrailer());
  for (const char* name : {"image.vhdx", "BACKUP.VHDX", "x.Vhdx", "backup.vhdx.bak", "image.vhd", "vhdx", "image.vhdx~",
                           "image.vhdx.txt"}) {
    image.WriteTo((dir / name).string());
  }
  fs::create_directory(dir / "folder.vhdx");
  image.WriteTo((dir / "folder.vhdx" / "inside.vhdx").string());
  fs::create_directory(dir / "sub");
  image.WriteTo((dir / "sub" / "nested.vhdx").string());

  const auto imageOf = [&](const std::string& name) {
    const std::string path = e2e::ScannedPath(dir.string(), name);
    return Image(path, e2e::ContainerReport(e2e::ReportOf(image, path)));
  };
  for (const Program& program : BothPrograms()) {
    std::map<std::string, Reported> reportOf{{"image.vhdx", imageOf("image.vhdx")}};
    if (program.json) {
      reportOf.emplace("BACKUP.VHDX", imageOf("BACKUP.VHDX"));
      reportOf.emplace("x.Vhdx", imageOf("x.Vhdx"));
    }
    ExpectReported(program, program.Run({"-p", dir.string()}), InListingOrder(dir, reportOf));
  }
}

TEST(FolderWalk, ACorruptFirstImageDoesNotStopTheWalk) {
  ScratchDirectory scratch;
  PluginImage corrupt = PluginImage::Build(e2e::WithoutTrailer());
  corrupt.PutInFileIdentifier(testsupport::file_identifier_field::kSignature, "vhdxfil_");
  const PluginImage valid = PluginImage::Build(e2e::WithoutTrailer());
  const auto paths = e2e::WriteInListingOrder(scratch.path(), {&corrupt, &valid});
  for (const Program& program : BothPrograms()) {
    ExpectReported(program, program.Run({"-p", scratch.path().string()}),
                   {Image(paths[0], e2e::Corrupt("Not a VHDX signature."), "corrupt"),
                    Image(paths[1], e2e::ContainerReport(e2e::ReportOf(valid, paths[1])))});
  }
}

TEST(FolderWalk, FoldersWithoutImagesReportNothing) {
  ScratchDirectory scratch;
  fs::create_directory(scratch.path() / "empty");
  fs::create_directory(scratch.path() / "others");
  Touch(scratch.path() / "others" / "readme.txt", "hello");
  fs::create_directory(scratch.path() / "others" / "images.vhdx");
  for (const Program& program : BothPrograms()) {
    for (const char* folder : {"empty", "others"}) {
      SCOPED_TRACE(folder);
      ExpectReported(program, program.Run({"-p", scratch / folder}), {});
    }
  }
}

TEST(FolderWalk, PathsThatAreNotAFolder) {
  ScratchDirectory scratch;
  const std::string image = scratch / "image.vhdx";
  PluginImage::Build(e2e::WithoutTrailer()).WriteTo(image);
  const std::string notes = scratch / "notes.txt";
  Touch(notes, "not a folder");
  const std::string missing = scratch / "missing";
  const std::string missingInside = scratch / "missing/deeper";
  const std::string throughAFile = scratch / "notes.txt/deeper";
  struct Case {
    std::string path;
    std::string line;
  };
  const Case cases[] = {
      {missing, "VHDX directory " + missing + " does not exist."},
      {missingInside, "VHDX directory " + missingInside + " does not exist."},
      {throughAFile, "VHDX directory " + throughAFile + " does not exist."},
      {image, image + " is not a directory."},
      {notes, notes + " is not a directory."},
  };
  for (const Program& program : BothPrograms()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.path);
      ExpectReported(program, program.Run({"-p", c.path}), {Problem(c.line)});
    }
  }
}

// An entry whose status cannot be read is reported when it is named like an
// image, skipped silently otherwise, and the walk goes on.
TEST(FolderWalk, ALinkLoopIsReportedAndTheWalkGoesOn) {
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << e2e::kPosixFileTypes;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path();
  fs::create_symlink("loop.vhdx", dir / "loop.vhdx");
  fs::create_symlink("loop.txt", dir / "loop.txt");
  const PluginImage image = PluginImage::Build(e2e::WithoutTrailer());
  const std::string imagePath = (dir / "image.vhdx").string();
  image.WriteTo(imagePath);
  const std::string loop = (dir / "loop.vhdx").string();
  const std::vector<Reported> expected =
      InListingOrder(dir, {{"loop.vhdx", Problem(loop + " cannot be examined: " + SystemMessage(ELOOP))},
                           {"image.vhdx", Image(imagePath, e2e::ContainerReport(e2e::ReportOf(image, imagePath)))}});
  for (const Program& program : BothPrograms()) {
    ExpectReported(program, program.Run({"-p", dir.string()}), expected);
    // The folder path itself a link loop.
    ExpectReported(program, program.Run({"-p", loop}),
                   {Problem("VHDX directory " + loop + " cannot be listed: " + SystemMessage(ELOOP))});
  }
}

TEST(FolderWalk, AFolderThatCannotBeListed) {
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << e2e::kPermissionBits;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path() / "closed";
  const fs::path inner = dir / "inner";
  fs::create_directories(inner);
  PluginImage::Build(e2e::WithoutTrailer()).WriteTo((dir / "image.vhdx").string());
  fs::permissions(dir, fs::perms::none);
  const std::string why = " cannot be listed: " + SystemMessage(EACCES);
  for (const Program& program : BothPrograms()) {
    ExpectReported(program, RunAsOrdinaryUser(program, scratch, {"-p", dir.string()}),
                   {Problem("VHDX directory " + dir.string() + why)});
    // Inside a folder that cannot be searched even the folder's status fails.
    ExpectReported(program, RunAsOrdinaryUser(program, scratch, {"-p", inner.string()}),
                   {Problem("VHDX directory " + inner.string() + why)});
  }
  fs::permissions(dir, fs::perms::owner_all);
}

// A folder that may be listed but not searched: every entry's status fails,
// and only the entries named like images are worth a line.
TEST(FolderWalk, AFolderWhoseEntriesCannotBeExamined) {
  if (e2e::WindowsProgramUnderTest()) GTEST_SKIP() << e2e::kPermissionBits;
  ScratchDirectory scratch;
  const fs::path dir = scratch.path() / "listed-only";
  fs::create_directory(dir);
  PluginImage::Build(e2e::WithoutTrailer()).WriteTo((dir / "a.vhdx").string());
  PluginImage::Build(e2e::WithoutTrailer()).WriteTo((dir / "b.vhdx").string());
  Touch(dir / "c.txt");
  fs::permissions(dir, fs::perms::owner_read);
  const std::string why = " cannot be examined: " + SystemMessage(EACCES);
  const std::vector<Reported> expected = InListingOrder(dir, {{"a.vhdx", Problem((dir / "a.vhdx").string() + why)},
                                                              {"b.vhdx", Problem((dir / "b.vhdx").string() + why)}});
  for (const Program& program : BothPrograms()) {
    ExpectReported(program, RunAsOrdinaryUser(program, scratch, {"-p", dir.string()}), expected);
  }
  fs::permissions(dir, fs::perms::owner_all);
}

}  // namespace
}  // namespace both_programs
