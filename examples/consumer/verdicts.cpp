// Prints "<verdict> <path>" for each image, and the failed check's name and
// line for an image that is not sound. Exits 1 when any image is not sound.
#include <vhdx_inspect/inspect.h>

#include <iostream>

int main(int argc, char* argv[]) {
  vhdx_inspect::Inspector inspector;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const vhdx_inspect::Inspection result = inspector.Inspect(argv[i]);
    std::cout << vhdx_inspect::VerdictName(result.verdict) << ' ' << result.path << '\n';
    if (result.failure) {
      std::cout << "  " << vhdx_inspect::CheckName(result.failure->check) << ": " << result.failure->description
                << '\n';
    }
    if (result.verdict != vhdx_inspect::Verdict::kSound) status = 1;
  }
  return status;
}
