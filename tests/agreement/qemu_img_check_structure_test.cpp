// The structure pass against `qemu-img check` on images that qemu-img and
// qemu-io wrote, each damaged by one byte edit. Where qemu checks the same
// thing the outcome is the same (its status 2 is a structure failure here);
// where this tool is stricter (a reserved state, two blocks on one offset,
// the second copies) qemu-img finds no error and the test says so. The log:
// entries this tool's test writer lays out, which qemu-img reads with its
// own reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "programs.h"
#include "support/log_entries.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"

namespace agreement {
namespace {

using vhdx_inspect::Severity;

constexpr std::uint64_t kMiB = 1048576;

void Patch(const std::string& path, std::uint64_t at, std::uint64_t value, std::size_t width = 8) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(static_cast<std::streamoff>(at));
  char bytes[8];
  for (std::size_t i = 0; i < 8; ++i) bytes[i] = static_cast<char>(value >> (8 * i) & 0xFF);
  file.write(bytes, static_cast<std::streamsize>(width));
  ASSERT_TRUE(file.good()) << "cannot patch " << path;
}

vhdx_inspect::Inspection Checked(const std::string& path) {
  vhdx_inspect::Inspector inspector(vhdx_inspect::ReadPolicy::kExaminedExtents, vhdx_inspect::Structure::kChecked);
  return inspector.Inspect(path);
}

// The clean image's facts that the edits need.
struct Facts {
  std::uint64_t bat = 0;
  std::uint64_t firstBlock = 0;  // the block that qemu-io's write allocated
  std::uint64_t metadata = 0;
  int otherHeader = 0;  // 1 or 2: the copy that is not current
};

struct Edit {
  const char* name;
  void (*apply)(const std::string& path, const Facts& facts);
  int qemuStatus;                    // of qemu-img check
  std::optional<const char*> check;  // the first structure finding, none when clean
  Severity severity = Severity::kFailure;
};

void PrintTo(const Edit& edit, std::ostream* out) { *out << edit.name; }

const Edit kEdits[] = {
    {"clean", [](const std::string&, const Facts&) {}, 0, std::nullopt},
    {"block_past_the_end", [](const std::string& p, const Facts& f) { Patch(p, f.bat, (std::uint64_t{1} << 30) | 6); },
     2, "file.truncated"},
    {"block_on_the_metadata_region", [](const std::string& p, const Facts& f) { Patch(p, f.bat, f.metadata | 6); }, 2,
     "bat.block_overlap"},
    // Stricter than qemu-img from here on.
    {"reserved_state", [](const std::string& p, const Facts& f) { Patch(p, f.bat + 8, 4); }, 0, "bat.state"},
    {"two_blocks_on_one_offset", [](const std::string& p, const Facts& f) { Patch(p, f.bat + 8, f.firstBlock | 6); }, 0,
     "bat.block_overlap"},
    {"other_header_damaged",
     [](const std::string& p, const Facts& f) {
       Patch(p, f.otherHeader == 1 ? 0x10000 + 200 : 0x20000 + 200, 0xFF, 1);
     },
     0, "header.copy_damaged", Severity::kWarning},
    {"region_table_2_damaged", [](const std::string& p, const Facts&) { Patch(p, 0x40000 + 200, 0xFF, 1); }, 0,
     "region_table.copy_damaged", Severity::kWarning},
};

class QemuImgCheckAgreement : public ::testing::TestWithParam<Edit> {};

TEST_P(QemuImgCheckAgreement, SameOutcomeWhereBothCheck) {
  const auto qemuImg = RequireTool("qemu-img", "qemu-utils");
  if (!qemuImg) return;
  const auto qemuIo = RequireTool("qemu-io", "qemu-utils");
  if (!qemuIo) return;
  ScratchDirectory scratch;
  const std::string path = scratch / "qemu.vhdx";
  ASSERT_EQ(RunProgram(*qemuImg, {"create", "-q", "-f", "vhdx", path, "64M"}).status, 0);
  const ProgramRun wrote = RunProgram(*qemuIo, {"-f", "vhdx", "-c", "write -P 0x5a 0 3M", path});
  ASSERT_EQ(wrote.status, 0) << wrote.out << wrote.err;

  const vhdx_inspect::Inspection clean = Checked(path);
  ASSERT_TRUE(clean.structure && clean.bat && !clean.bat->present_blocks.empty());
  ASSERT_TRUE(clean.structure_findings.empty()) << clean.structure_findings[0].description;
  Facts facts;
  facts.bat = clean.bat->offset;
  facts.firstBlock = clean.bat->present_blocks[0].offset;
  facts.otherHeader = clean.structure->headers[0].current ? 2 : 1;
  // Another creator's VHDX stops before the regions record; in qemu-img's
  // layout the metadata region follows the BAT's first 1 MiB.
  facts.metadata = facts.bat + kMiB;

  const Edit& edit = GetParam();
  edit.apply(path, facts);
  const ProgramRun check = RunProgram(*qemuImg, {"check", "-f", "vhdx", path});
  EXPECT_EQ(check.status, edit.qemuStatus) << check.out << check.err;

  const vhdx_inspect::Inspection inspection = Checked(path);
  EXPECT_EQ(inspection.verdict, vhdx_inspect::Verdict::kNotPlugin) << "another creator's VHDX keeps its verdict";
  if (!edit.check) {
    EXPECT_TRUE(inspection.structure_findings.empty());
    return;
  }
  ASSERT_FALSE(inspection.structure_findings.empty());
  EXPECT_STREQ(vhdx_inspect::CheckName(inspection.structure_findings[0].check), *edit.check)
      << inspection.structure_findings[0].description;
  EXPECT_EQ(inspection.structure_findings[0].severity, edit.severity);
}

INSTANTIATE_TEST_SUITE_P(Edits, QemuImgCheckAgreement, ::testing::ValuesIn(kEdits),
                         [](const ::testing::TestParamInfo<Edit>& info) { return std::string(info.param.name); });

// A log with writes never applied: qemu-img refuses to open it read-only
// until it is replayed, which is this tool's warning. A LogGuid over a log
// without a valid entry, qemu-img opens as clean; this tool is stricter
// (nothing there to bring the file to a consistent state).
struct LogCase {
  const char* name;
  bool entry;
  int qemuStatus;
  const char* qemuSays;  // in qemu-img's output, or ""
  const char* check;
  Severity severity;
};

void PrintTo(const LogCase& c, std::ostream* out) { *out << c.name; }

const LogCase kLogCases[] = {
    {"pending_replay", true, 1, "needs to be replayed", "log.replay_pending", Severity::kWarning},
    {"no_valid_entry", false, 0, "No errors were found", "log.no_valid_sequence", Severity::kFailure},
};

class QemuImgLogAgreement : public ::testing::TestWithParam<LogCase> {};

TEST_P(QemuImgLogAgreement, TheLogAsQemuImgReadsIt) {
  const auto qemuImg = RequireTool("qemu-img", "qemu-utils");
  if (!qemuImg) return;
  const LogCase& c = GetParam();
  testsupport::ImageDescription d;
  d.logGuid = testsupport::GuidFromString("0B7A3E51-6C2D-4F18-9A04-5E7D1C3B2A69");
  testsupport::PluginImage image = testsupport::PluginImage::Build(d);
  if (c.entry) {
    testsupport::LogEntry entry;
    entry.sequence = 5;
    entry.flushedFileOffset = image.layout().fileSize;
    entry.lastFileOffset = image.layout().fileSize;
    entry.writes = {{image.layout().fileSize - 4096, 0x5A}, {image.layout().fileSize - 65536, 0, 8192}};
    testsupport::PutLogEntries(image, 0, {entry});
  }
  ScratchDirectory scratch;
  const std::string path = scratch / "log.vhdx";
  image.WriteTo(path);

  const ProgramRun check = RunProgram(*qemuImg, {"check", "-f", "vhdx", path});
  EXPECT_EQ(check.status, c.qemuStatus) << check.out << check.err;
  EXPECT_NE((check.out + check.err).find(c.qemuSays), std::string::npos) << check.out << check.err;

  const vhdx_inspect::Inspection inspection = Checked(path);
  ASSERT_EQ(inspection.structure_findings.size(), 1u) << inspection.structure_findings[0].description;
  EXPECT_STREQ(vhdx_inspect::CheckName(inspection.structure_findings[0].check), c.check);
  EXPECT_EQ(inspection.structure_findings[0].severity, c.severity);
  if (!c.entry) return;

  // qemu-img's replay applies what this tool said it would: afterwards the
  // log is empty and the written sector holds the entry's data.
  const ProgramRun replay = RunProgram(*qemuImg, {"check", "-r", "all", "-f", "vhdx", path});
  ASSERT_EQ(replay.status, 0) << replay.out << replay.err;
  const vhdx_inspect::Inspection replayed = Checked(path);
  EXPECT_TRUE(replayed.structure_findings.empty()) << replayed.structure_findings[0].description;
  ASSERT_TRUE(replayed.structure);
  EXPECT_EQ(replayed.structure->log_state, "empty");
  EXPECT_EQ(inspection.structure->log_file_size_after_replay, replayed.structure->file_size);
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(image.layout().fileSize - 4096 + 100));
  EXPECT_EQ(file.get(), 0x5A);
}

INSTANTIATE_TEST_SUITE_P(Logs, QemuImgLogAgreement, ::testing::ValuesIn(kLogCases),
                         [](const ::testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace agreement
