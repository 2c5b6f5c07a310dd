// The tool against sgdisk, an independent reader and writer of GPT disks: a
// raw disk partitioned by sgdisk is wrapped into a plugin image (its first 34
// sectors as the partition-table area, its last 33 as the trailer), and what
// the tool prints of it is compared with what sgdisk prints. Then the backup
// GPT of the raw disk is damaged by hand, and both tools must report it.
// Skipped, with the reason, when sgdisk (package gdisk) is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "partition_expected.h"
#include "run_tool.h"
#include "testsupport/checksums.h"
#include "testsupport/plugin_image.h"

namespace e2e {
namespace {

using namespace testsupport;

constexpr std::uint64_t kDiskSize = 64 * kMiB;  // 131072 sectors of 512 bytes
constexpr std::uint64_t kSector = 512;

// sgdisk lives in /usr/sbin, which is not on every user's PATH.
std::string FindSgdisk() {
  std::vector<std::string> folders;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream list(path);
    for (std::string folder; std::getline(list, folder, ':');) folders.push_back(folder);
  }
  folders.insert(folders.end(), {"/usr/sbin", "/sbin"});
  for (const std::string& folder : folders) {
    const std::filesystem::path candidate = std::filesystem::path(folder) / "sgdisk";
    std::error_code error;
    if (!folder.empty() && std::filesystem::is_regular_file(candidate, error)) return candidate.string();
  }
  return "";
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

struct CommandResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error together
};

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char chunk[4096];
  for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) result.output.append(chunk, got);
  const int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::vector<std::byte> ReadBytes(const std::string& path, std::uint64_t at, std::uint64_t length) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(at));
  std::vector<std::byte> bytes(length);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
  if (!in) throw std::runtime_error("cannot read " + path);
  return bytes;
}

void WriteBytes(const std::string& path, std::uint64_t at, const std::vector<std::byte>& bytes) {
  std::fstream io(path, std::ios::binary | std::ios::in | std::ios::out);
  io.seekp(static_cast<std::streamoff>(at));
  io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!io) throw std::runtime_error("cannot write " + path);
}

std::uint64_t LittleEndian(const std::vector<std::byte>& bytes, std::size_t at, std::size_t width) {
  std::uint64_t value = 0;
  for (std::size_t i = width; i-- > 0;) value = (value << 8) | std::to_integer<std::uint64_t>(bytes[at + i]);
  return value;
}

void PutLittleEndian(std::vector<std::byte>& bytes, std::size_t at, std::size_t width, std::uint64_t value) {
  for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
}

// One partition as sgdisk is asked to make it.
struct SgdiskPartition {
  const char* size;  // sgdisk's end argument: "+10M", or "0" for the rest of the disk
  const char* code;  // sgdisk's type code
  const char* name;
  int attributeBit;  // -1 for none
};

// The three types the tool knows, with names that pass and one that fails
// its name check, and two types it does not know.
const std::vector<SgdiskPartition> kPartitions = {
    {"+10M", "ef00", "EFI system partition", -1},
    {"+16M", "0c01", "Microsoft reserved partition", -1},
    {"+8M", "0700", "Basic data partition", -1},
    {"+4M", "8300", "Linux root", 60},
    {"+1M", "0700", "Data", -1},
    {"0", "8200", "", 0},
};

// Partitions a fresh raw disk of kDiskSize bytes.
void MakeDisk(const std::string& sgdisk, const std::string& raw) {
  { std::ofstream(raw, std::ios::binary); }
  std::filesystem::resize_file(raw, kDiskSize);
  std::string command = Quote(sgdisk);
  for (std::size_t i = 0; i < kPartitions.size(); ++i) {
    const SgdiskPartition& p = kPartitions[i];
    const std::string n = std::to_string(i + 1);
    command += " -n " + n + ":" + (i == 0 ? "2048" : "0") + ":" + p.size + " -t " + n + ":" + p.code;
    if (*p.name != '\0') command += " -c " + n + ":" + Quote(p.name);
    if (p.attributeBit >= 0) command += " -A " + n + ":set:" + std::to_string(p.attributeBit);
  }
  const CommandResult made = RunCommand(command + " " + Quote(raw));
  ASSERT_EQ(made.exitCode, 0) << made.output;
}

// What sgdisk says about one partition: -p for its LBAs, -i for its type
// GUID, full name and attribute flags.
struct SgdiskEntry {
  std::uint64_t first = 0, last = 0, attributes = 0;
  std::string typeGuid, name;
};

std::string ValueAfter(const std::string& text, const std::string& label) {
  const std::size_t at = text.find(label);
  if (at == std::string::npos) return "";
  const std::size_t end = text.find('\n', at);
  return text.substr(at + label.size(), end - at - label.size());
}

std::vector<SgdiskEntry> SgdiskEntries(const std::string& sgdisk, const std::string& raw) {
  const CommandResult print = RunCommand(Quote(sgdisk) + " -p " + Quote(raw));
  std::vector<SgdiskEntry> entries;
  const std::size_t table = print.output.find("Number  Start (sector)");
  if (table == std::string::npos) return entries;
  std::stringstream lines(print.output.substr(table));
  std::string line;
  std::getline(lines, line);  // the column headings
  while (std::getline(lines, line)) {
    std::stringstream fields(line);
    std::size_t number = 0;
    SgdiskEntry e;
    if (!(fields >> number >> e.first >> e.last)) continue;
    const CommandResult info = RunCommand(Quote(sgdisk) + " -i " + std::to_string(number) + " " + Quote(raw));
    e.typeGuid = ValueAfter(info.output, "Partition GUID code: ").substr(0, 36);
    e.attributes = std::stoull(ValueAfter(info.output, "Attribute flags: "), nullptr, 16);
    const std::string quotedName = ValueAfter(info.output, "Partition name: ");
    e.name = quotedName.substr(1, quotedName.size() - 2);  // sgdisk puts the name in single quotes
    entries.push_back(e);
  }
  return entries;
}

// The verification with the four headings and nothing under them.
const std::string kCleanVerification = Verification({});

// The output from the verification's first heading on.
std::string VerificationPart(const std::string& out) {
  const std::size_t at = out.find("\nVerifying the EFI header\n");
  return at == std::string::npos ? out : out.substr(at);
}

class SgdiskAgreement : public ::testing::Test {
 protected:
  void SetUp() override {
    sgdisk_ = FindSgdisk();
    if (sgdisk_.empty()) GTEST_SKIP() << "sgdisk is not installed (package gdisk)";
    raw_ = scratch_ / "disk.raw";
    MakeDisk(sgdisk_, raw_);
  }

  // The raw disk wrapped into a plugin image, inspected by the tool.
  ToolRun InspectWrapped() {
    ImageDescription d;
    AdoptRawDisk(d, raw_);
    return InspectImage(PluginImage::Build(d), scratch_, "wrapped.vhdx");
  }

  ScratchDirectory scratch_;
  std::string sgdisk_;
  std::string raw_;
};

TEST_F(SgdiskAgreement, TheToolPrintsTheEntriesAndUsableRangeThatSgdiskReads) {
  const CommandResult verify = RunCommand(Quote(sgdisk_) + " -v " + Quote(raw_));
  ASSERT_NE(verify.output.find("No problems found."), std::string::npos) << verify.output;

  const std::vector<SgdiskEntry> listed = SgdiskEntries(sgdisk_, raw_);
  ASSERT_EQ(listed.size(), kPartitions.size());
  std::vector<EntryText> entries;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    const SgdiskEntry& e = listed[i];
    EXPECT_EQ(e.name, kPartitions[i].name);
    // Only "Data" fails the name check: a basic data partition must be
    // named "Basic data partition".
    entries.push_back({TypeText(GuidFromString(e.typeGuid)), e.first, e.last, e.attributes, e.name,
                       std::string(kPartitions[i].name) == "Data"});
  }
  EXPECT_EQ(entries[0].type, "EFI system partition");
  EXPECT_EQ(entries[1].type, "Microsoft reserved partition");
  EXPECT_EQ(entries[2].type, "Data partition");
  EXPECT_EQ(entries[3].type, "Unknown partition type");
  EXPECT_EQ(entries[3].attributes, 0x1000000000000000u);
  EXPECT_EQ(entries[5].attributes, 0x1u);

  const ToolRun run = InspectWrapped();
  ASSERT_EQ(run.status, 0);
  // Both arrays, exactly as sgdisk lists the partitions.
  const std::string entriesText = EntriesReport(entries);
  EXPECT_NE(run.out.find(entriesText + "\nGPT trailer partition entries and EFI Header\n" + entriesText +
                         "\nEFI Header \n"),
            std::string::npos)
      << run.out;
  // The usable range in both headers.
  const CommandResult print = RunCommand(Quote(sgdisk_) + " -p " + Quote(raw_));
  const std::string usable = ValueAfter(print.output, "First usable sector is ");
  unsigned long long firstUsable = 0, lastUsable = 0;
  ASSERT_EQ(std::sscanf(usable.c_str(), "%llu, last usable sector is %llu", &firstUsable, &lastUsable), 2)
      << print.output;
  const std::string range = "\tFirstUsableLBA:             " + Hex(firstUsable) + "\n" +
                            "\tLastUsableLBA:              " + Hex(lastUsable) + "\n";
  const std::size_t primary = run.out.find(range);
  ASSERT_NE(primary, std::string::npos) << run.out;
  EXPECT_NE(run.out.find(range, primary + 1), std::string::npos) << run.out;
  // No check fails.
  EXPECT_EQ(VerificationPart(run.out), kCleanVerification);
}

TEST_F(SgdiskAgreement, ABackupHeaderChangedByHandIsReportedByBoth) {
  const std::uint64_t backupHeader = kDiskSize - kSector;
  std::vector<std::byte> header = ReadBytes(raw_, backupHeader, kGptHeaderSize);
  const std::uint64_t storedCrc = LittleEndian(header, 16, 4);
  const std::uint64_t lastUsable = LittleEndian(header, 48, 8);
  PutLittleEndian(header, 48, 8, lastUsable + 1);  // LastUsableLBA, its checksum left as it was
  WriteBytes(raw_, backupHeader, header);

  const CommandResult verify = RunCommand(Quote(sgdisk_) + " -v " + Quote(raw_));
  EXPECT_NE(verify.output.find("Backup header: ERROR"), std::string::npos) << verify.output;

  const ToolRun run = InspectWrapped();
  VerificationText expected;
  expected.trailer = ChecksumCheckFailed("HeaderCRC32 is invalid.  ", storedCrc, HeaderChecksumOf(header));
  expected.lbaEntries = CrossCheckFailed("pEfiHeader->LastUsableLBA is invalid.  ", lastUsable, lastUsable + 1);
  EXPECT_EQ(VerificationPart(run.out), Verification(expected));
  EXPECT_EQ(run.status, 0);
}

TEST_F(SgdiskAgreement, ABackupArrayChangedByHandIsReportedByBoth) {
  const std::uint64_t backupArray = kDiskSize - kSector - kGptEntryArraySize;
  const std::uint64_t storedCrc = LittleEndian(ReadBytes(raw_, kDiskSize - kSector, kGptHeaderSize), 88, 4);
  // The first letter of the first partition's name, its checksum left as it was.
  WriteBytes(raw_, backupArray + 56, {std::byte{'X'}});

  const CommandResult verify = RunCommand(Quote(sgdisk_) + " -v " + Quote(raw_));
  EXPECT_NE(verify.output.find("Backup partition table: ERROR"), std::string::npos) << verify.output;

  const ToolRun run = InspectWrapped();
  VerificationText expected;
  expected.trailer = ChecksumCheckFailed("PartitionEntryArrayCRC32 is invalid.  ", storedCrc,
                                         Crc32(ReadBytes(raw_, backupArray, kGptEntryArraySize)));
  EXPECT_EQ(VerificationPart(run.out), Verification(expected));
  EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace e2e
