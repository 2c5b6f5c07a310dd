// What one inspection concluded, for a caller to branch on.
#pragma once

namespace vhdx_inspect {

enum class Verdict {
  // Every check passed and the GPT verification found nothing.
  kSound = 0,
  // The report is complete, but the GPT verification found differences.
  kGptMismatch = 1,
  // A named check failed; the records before it are there.
  kCorrupt = 2,
  // The image could not be opened, positioned or read, or the system refused
  // the memory to inspect it; the failure holds the system's status.
  kUnreadable = 3,
  // A sound VHDX that is not a plugin VHDX: another program wrote it, or its
  // metadata has no plugin item.
  kNotPlugin = 4,
  // No inspection has filled this value: a default-constructed Inspection.
  // An inspector never returns it.
  kNotInspected = 5,
};

// "sound", "gpt_mismatch", "corrupt", "unreadable", "not_plugin" or
// "not_inspected".
const char* VerdictName(Verdict verdict);

}  // namespace vhdx_inspect
