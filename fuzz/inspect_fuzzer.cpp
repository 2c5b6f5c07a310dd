// libFuzzer target: the whole inspection of one image (both container
// stages, the partition-table size checks, the MBR and GPT decoding and the
// GPT verification) on an in-memory image described by the input (see
// sparse_image.h), under both read policies, which must give the same
// inspection; its text report written to a stream that formats everything
// and keeps nothing; and the inspection with the structure pass (both
// header and region table copies, the metadata items, the BAT, the log),
// whose plugin checks must find what they found without it, with its JSON
// object.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ios>
#include <ostream>
#include <span>
#include <streambuf>

#include "fuzz/sparse_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/json/json_report.h"
#include "views/text/text_report.h"

namespace {

class DiscardingBuffer final : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char_type*, std::streamsize count) override { return count; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::SparseImageBuffer image;
  static vhdx_inspect::Inspector examined(vhdx_inspect::ReadPolicy::kExaminedExtents);
  static vhdx_inspect::Inspector whole(vhdx_inspect::ReadPolicy::kWholeRegions);
  static vhdx_inspect::Inspector checked(vhdx_inspect::ReadPolicy::kExaminedExtents, vhdx_inspect::Structure::kChecked);
  const std::span<const std::byte> file = image.Assemble(std::as_bytes(std::span(data, size)));

  const vhdx_inspect::Inspection inspection = whole.Inspect(file, "fuzz.vhdx");
  // The in-memory image tells its size, so examined extents apply; the two
  // policies must agree on every record, finding, warning and failure.
  if (!(examined.Inspect(file, "fuzz.vhdx") == inspection)) std::abort();

  DiscardingBuffer discard;
  std::ostream out(&discard);
  if ((image.flags() & fuzz::kStartInHexadecimal) != 0) out << std::hex << std::showbase;
  vhdx_inspect::views::text::WriteTextReport(inspection, out);

  const vhdx_inspect::Inspection structure = checked.Inspect(file, "fuzz.vhdx");
  if (!(structure.gpt_findings == inspection.gpt_findings && structure.warnings == inspection.warnings &&
        structure.header == inspection.header && structure.metadata == inspection.metadata &&
        structure.volumes == inspection.volumes && structure.primary_gpt == inspection.primary_gpt &&
        structure.backup_gpt == inspection.backup_gpt))
    std::abort();
  out << vhdx_inspect::views::json::JsonLine(structure);
  return 0;
}
