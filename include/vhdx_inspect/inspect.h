// Inspecting plugin VHDX images.
//
//   vhdx_inspect::Inspector inspector;
//   const vhdx_inspect::Inspection result = inspector.Inspect("disk.vhdx");
//   if (result.verdict != vhdx_inspect::Verdict::kSound && result.failure)
//     std::cerr << vhdx_inspect::CheckName(result.failure->check) << ": " << result.failure->description << '\n';
//
// Nothing here prints, raises or keeps state outside the objects the caller
// owns: inspectors in different threads do not interfere.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/inspection.h"
#include "vhdx_inspect/read_policy.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/structure.h"
#include "vhdx_inspect/verdict.h"

namespace vhdx_inspect {

namespace detail {
struct Buffers;
struct Access;
}  // namespace detail

// Inspects one image after another, reusing its working buffers from image
// to image: an arena for the examined extents (640 KiB for a sound image,
// at most 1 MiB kept), or 3 MiB under ReadPolicy::kWholeRegions, and the
// partition tables.
// Every regular file gets the same Inspection under either policy; the one
// difference is a read error in bytes that no check examines, which fails
// the inspection only when those bytes are read. One inspector serves one
// thread at a time.
class Inspector {
 public:
  // With Structure::kChecked every inspection ends with the structure pass
  // (structure.h), which reads the BAT as well; without it an inspection
  // reads and finds exactly what it did before the pass existed.
  explicit Inspector(ReadPolicy policy = ReadPolicy::kExaminedExtents, Structure structure = Structure::kUnchecked);
  ~Inspector();
  Inspector(Inspector&&) noexcept;
  Inspector& operator=(Inspector&&) noexcept;
  Inspector(const Inspector&) = delete;
  Inspector& operator=(const Inspector&) = delete;

  // Opens the image at `path` for exclusive reading, taking part in QEMU's
  // image locks on Linux, and inspects it. On Windows the file is opened by
  // its exact UTF-16 name, whatever the ANSI code page can hold; a
  // std::string or a string literal converts as std::filesystem::path
  // converts it. Inspection::path is the name as UTF-8 text (see there).
  Inspection Inspect(const std::filesystem::path& path);

  // Inspects an image held in memory; `name` is what the lines that name
  // the file say.
  Inspection Inspect(std::span<const std::byte> image, const std::string& name = "");

 private:
  friend struct detail::Access;
  ReadPolicy policy_;
  Structure structure_;
  std::unique_ptr<detail::Buffers> buffers_;
};

}  // namespace vhdx_inspect
