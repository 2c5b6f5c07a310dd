#include "vhdx-inspect-json/command_line.h"

#include <boost/program_options.hpp>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/exit_status.h"
#include "vhdx-inspect-json/image_request.h"
#include "vhdx-inspect-json/image_run.h"

namespace json_app {

namespace po = boost::program_options;

namespace {

constexpr char kUsage[] =
    "Usage: vhdx-inspect-json [-j JOBS] FILE... | -f FILE... | --files-from LIST | --files0-from LIST\n"
    "       vhdx-inspect-json [-j JOBS] -p FOLDER [-r]\n"
    "One JSON object per image, one per line, in the order the images are given.\n"
    "The forms that name images combine, in the order given; LIST \"-\" is standard input.\n";

int CommandLineError(const std::string& what, const po::options_description& description, std::ostream& err) {
  err << "vhdx-inspect-json: " << what << '\n' << description << std::endl;
  return vhdx_programs::kCommandLineError;
}

// RunCommandLine, with what the run raises left to the caller.
int RunCommandLineOrRaise(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  bool help = false;
  ImageOptions imageOptions;

  po::options_description description("Command-line Options", 100, 40);
  description.add_options()("help,h", po::bool_switch(&help), "Print help");
  imageOptions.AddTo(description);

  po::variables_map values;
  std::optional<po::parsed_options> parsed;
  try {
    // A word without an option is an image path, as with -f.
    parsed.emplace(
        po::command_line_parser(argc, argv).options(description).positional(ImageOptions::Positional()).run());
    po::store(*parsed, values);
    po::notify(values);
  } catch (const po::error& e) {
    return CommandLineError(e.what(), description, err);
  }
  if (help) {
    out << kUsage << description << std::endl;
    return vhdx_programs::kAllSound;
  }
  Request request;
  const std::string problem = imageOptions.MakeRequest(*parsed, values, request);
  if (!problem.empty()) return CommandLineError(problem, description, err);

  try {
    JsonLines lines(out);
    return RunImages(request, lines, err);
  } catch (const RunInterrupted&) {
    // The run is gone: its workers stopped, every line written is whole.
    err << "vhdx-inspect-json: interrupted" << std::endl;
    return vhdx_programs::kInterrupted;
  }
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  try {
    return RunCommandLineOrRaise(argc, argv, out, err);
  } catch (const std::bad_alloc&) {
    // No memory for the next line (an inspection that runs out of memory
    // has a line of its own, inspection.out_of_memory), on the scan's thread
    // or a worker's: the report cannot go on, as when standard output
    // refuses it. The line is written without allocating.
    err << "vhdx-inspect-json: cannot write the report to standard output: " << std::strerror(ENOMEM) << std::endl;
    return vhdx_programs::kReportNotWritten;
  }
}

}  // namespace json_app
