// Runs vhdx-inspect-report, the Linux build or, when VHDX_INSPECT_REPORT_EXE
// names vhdx-inspect-report.exe (or VHDX_INSPECT_EXE the text program's .exe,
// beside which it lies), the Windows build under wine, as json_run.h runs the
// JSON program; and the hostile images and names the page must show as text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace report_test {

// True when the Windows program is under test.
bool WindowsReportProgramUnderTest();

testsupport::ProgramRun RunReport(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits = {});

// The whole text of a file.
std::string ReadFile(const std::filesystem::path& path);

// The page without its one line that says when, where and from what it was
// made (the paragraph of class "made").
std::string WithoutMadeLine(const std::string& page);

// Names that would run a script or add an element if they reached the page
// unescaped; each fits a GPT partition name (36 UTF-16 units).
inline constexpr const char* kScriptName = "<script>document.title=1</script>";
inline constexpr const char* kImgName = "\"><img src=x onerror=alert(1)>";
// The same as the page must hold them.
inline constexpr const char* kScriptNameEscaped = "&lt;script&gt;document.title=1&lt;/script&gt;";
inline constexpr const char* kImgNameEscaped = "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;";
// A file name that would add an element; its escaped form.
inline constexpr const char* kHostileFileName = "\"><svg onload=document.title=4>.vhdx";
inline constexpr const char* kHostileFileNameEscaped = "&quot;&gt;&lt;svg onload=document.title=4&gt;.vhdx";

// The name of the damaged image of WriteHostileNames: kHostileFileName, or
// for the Windows program, where " < > cannot be in a name (wine shows them
// as other characters), "damaged-gpt.vhdx".
std::string DamagedImageName();

// Writes into `folder`: an image whose data partition is named kScriptName
// (in both GPTs), one whose data partition is named kImgName, and a damaged
// image (a backup GPT header of the wrong CRC) named DamagedImageName().
void WriteHostileNames(const std::filesystem::path& folder);

}  // namespace report_test
