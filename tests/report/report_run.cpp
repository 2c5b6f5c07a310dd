#include "report_run.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/plugin_image.h"
#include "support/wine_run.h"

namespace report_test {
namespace {

const std::string& WindowsProgram() {
  static const std::string exe = []() -> std::string {
    const char* named = std::getenv("VHDX_INSPECT_REPORT_EXE");
    if (named != nullptr && *named != '\0') return named;
    const char* text = std::getenv("VHDX_INSPECT_EXE");
    if (text == nullptr || *text == '\0') return "";
    const std::filesystem::path folder = std::filesystem::path(text).parent_path();
    for (const std::filesystem::path& candidate :
         {folder.parent_path() / "report" / "vhdx-inspect-report.exe", folder / "vhdx-inspect-report.exe"}) {
      if (std::filesystem::exists(candidate)) return candidate.string();
    }
    return (folder / "vhdx-inspect-report.exe").string();
  }();
  return exe;
}

std::u16string Utf16OfAscii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

testsupport::ImageDescription WithDataPartitionName(const std::string& name) {
  testsupport::ImageDescription d;
  std::vector<testsupport::GptPartition> partitions =
      testsupport::StandardPartitions(d.logicalSectorSize, d.virtualDiskSize);
  partitions.back().name = Utf16OfAscii(name);
  d.partitions = partitions;
  return d;
}

}  // namespace

bool WindowsReportProgramUnderTest() { return !WindowsProgram().empty(); }

testsupport::ProgramRun RunReport(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits) {
  return testsupport::RunUnderTest({VHDX_INSPECT_REPORT_PATH, WindowsProgram()}, arguments, limits);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string WithoutMadeLine(const std::string& page) {
  std::istringstream lines(page);
  std::string kept;
  std::string line;
  while (std::getline(lines, line)) {
    if (line.find("<p class=\"made\">") == std::string::npos) kept += line + "\n";
  }
  return kept;
}

std::string DamagedImageName() { return WindowsReportProgramUnderTest() ? "damaged-gpt.vhdx" : kHostileFileName; }

void WriteHostileNames(const std::filesystem::path& folder) {
  using testsupport::PluginImage;
  PluginImage::Build(WithDataPartitionName(kScriptName)).WriteTo((folder / "script-partition.vhdx").string());
  PluginImage::Build(WithDataPartitionName(kImgName)).WriteTo((folder / "img-partition.vhdx").string());
  PluginImage damaged = PluginImage::Build({});
  damaged.Put32(damaged.layout().backupGptHeader + 16, 0x12345678);
  damaged.WriteTo((folder / DamagedImageName()).string());
}

}  // namespace report_test
