// The whole per-file inspection through the Win32 backend: an image read
// from a real file gives exactly the text that the same bytes give from
// memory, wherever in a sparse file its GPT trailer lies; an image that
// cannot be opened gives the CreateFile line with the Windows status and the
// exception line.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "scratch_file.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/text/messages.h"
#include "views/text/text_report.h"

namespace {

using testsupport::ImageDescription;
using testsupport::PluginImage;
using windows_test::HeldOpen;
using windows_test::ScratchPath;
using windows_test::WriteAt;

constexpr std::uint64_t kGiB = std::uint64_t{1} << 30;

std::string InspectFile(const std::string& path) {
  std::ostringstream out;
  vhdx_inspect::Inspector inspector;
  vhdx_inspect::views::text::WriteTextReport(inspector.Inspect(path), out);
  return out.str();
}

std::string InspectMemory(const std::string& name, const PluginImage& image) {
  std::ostringstream out;
  vhdx_inspect::Inspector inspector;
  vhdx_inspect::views::text::WriteTextReport(inspector.Inspect(image.bytes(), name), out);
  return out.str();
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST(InspectionOnWin32Test, GivesTheTextOfTheSameBytesInMemory) {
  ImageDescription sectors4096;
  sectors4096.logicalSectorSize = 4096;
  sectors4096.partitions = testsupport::StandardPartitions(4096, sectors4096.virtualDiskSize);
  ImageDescription withoutTrailer;
  withoutTrailer.gptTrailer = false;
  for (const ImageDescription& description : {ImageDescription{}, sectors4096, withoutTrailer}) {
    SCOPED_TRACE(description.logicalSectorSize);
    const PluginImage image = PluginImage::Build(description);
    ScratchPath path(".vhdx");
    image.WriteTo(path.str());
    const std::string text = InspectFile(path.str());
    EXPECT_EQ(text, InspectMemory(path.str(), image));
    EXPECT_EQ(text.find("Exception occurred"), std::string::npos) << text;
  }
}

// The sample image with its GPT trailer 4 GiB further into the data area, in
// a sparse file of more than 4 GiB, reads as the sample does: only the
// trailer offset differs. Its old place is zeroed, so a position cut to 32
// bits would print zeros.
TEST(InspectionOnWin32Test, ReadsAGptTrailerBeyond4GiB) {
  const PluginImage sample = PluginImage::Build(ImageDescription{});
  PluginImage moved = sample;
  const testsupport::Layout& layout = moved.layout();
  const std::uint64_t offset = layout.trailerDiskOffset;
  const std::uint64_t movedOffset = 4 * kGiB + offset;
  const auto trailer = sample.View(layout.trailer, layout.trailerLength);
  moved.PutBytes(layout.trailer, std::vector<std::byte>(trailer.size()));
  moved.PutInPluginItem(testsupport::plugin_field::kGptTrailerDiskOffset, movedOffset);
  ScratchPath path(".vhdx");
  moved.WriteTo(path.str());
  WriteAt(path.str(), layout.dataArea + movedOffset, trailer);

  std::string text = InspectFile(path.str());
  ASSERT_EQ(text.find("Exception occurred"), std::string::npos) << text;
  const auto hex = [](std::uint64_t value) {
    std::ostringstream out;
    out << std::hex << std::showbase << value;
    return out.str();
  };
  text = ReplaceAll(text, hex(movedOffset), hex(offset));
  text = ReplaceAll(text, std::to_string(movedOffset), std::to_string(offset));
  EXPECT_EQ(text, InspectMemory(path.str(), sample));
}

TEST(InspectionOnWin32Test, AnImageThatCannotBeOpenedGivesTheCreateFileLine) {
  ScratchPath directory(".d");
  ASSERT_TRUE(::CreateDirectoryA(directory.str().c_str(), nullptr));
  ScratchPath held("-held.vhdx");
  PluginImage::Build(ImageDescription{}).WriteTo(held.str());
  HeldOpen holder(held.str());
  ASSERT_TRUE(holder.held());
  struct Case {
    std::string path;
    int status;
  };
  for (const Case& c : {Case{directory.str() + "\\missing.vhdx", 2}, Case{directory.str(), 5}, Case{held.str(), 32}}) {
    EXPECT_EQ(InspectFile(c.path), "CreateFile failed with status " + std::to_string(c.status) +
                                       " for file: " + c.path + "\nException occurred: plugin VHDX is corrupt\n");
  }
}

// A trailer offset that puts the position past the signed 64-bit range: the
// Windows status for a negative seek, in the hexadecimal the size lines left.
TEST(InspectionOnWin32Test, ATrailerBeyondTheSignedRangeGivesTheSetFilePointerExLine) {
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.PutInPluginItem(testsupport::plugin_field::kGptTrailerDiskOffset, std::uint64_t{0x7FFFFFFFFFFFFFFF});
  ScratchPath path(".vhdx");
  image.WriteTo(path.str());
  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::Inspection result = inspector.Inspect(path.str());
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->check, vhdx_inspect::Check::kGptTrailerSeek);
  EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(result),
            "SetFilePointerEx failed with status 0x83 for file: " + path.str());
  // The plain sentence names the status in decimal, with the system's text.
  EXPECT_NE(result.failure->description.find("(system status 131)."), std::string::npos) << result.failure->description;
}

// A name that only UTF-16 can hold: an unpaired surrogate. The library opens
// the file by that exact name, and the inspection shows it with U+FFFD.
TEST(InspectionOnWin32Test, OpensANameWithAnUnpairedSurrogateByItself) {
  ScratchPath prefix("");
  const std::string ascii = prefix.str() + "-lone-";
  std::wstring name(ascii.begin(), ascii.end());
  name += static_cast<wchar_t>(0xD800);
  name += L".vhdx";
  const PluginImage image = PluginImage::Build(ImageDescription{});
  const HANDLE file =
      ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    // NTFS holds such a name; wine keeps names as UTF-8 on Linux, which cannot.
    GTEST_SKIP() << "this file system cannot hold a name with an unpaired surrogate (status " << ::GetLastError()
                 << ")";
  }
  DWORD written = 0;
  const bool wrote =
      ::WriteFile(file, image.bytes().data(), static_cast<DWORD>(image.bytes().size()), &written, nullptr);
  ::CloseHandle(file);
  ASSERT_TRUE(wrote && written == image.bytes().size());

  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::Inspection result = inspector.Inspect(std::filesystem::path(name));
  ::DeleteFileW(name.c_str());
  EXPECT_EQ(result.verdict, vhdx_inspect::Verdict::kSound) << (result.failure ? result.failure->description : "");
  EXPECT_EQ(result.path, ascii + "\xEF\xBF\xBD.vhdx");
}

}  // namespace
