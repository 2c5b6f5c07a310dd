#include "vhdx-inspect-json/command_line.h"

#include <boost/program_options.hpp>
#include <memory>
#include <optional>
#include <string>

#include "common/exit_status.h"
#include "vhdx-inspect-json/folder_scan.h"
#include "vhdx-inspect-json/image_run.h"
#include "vhdx-inspect-json/parallel_run.h"

namespace json_app {

namespace po = boost::program_options;

namespace {

// Images inspected at once unless -j says otherwise (the manual page says
// why this number).
constexpr int kDefaultJobs = 8;
constexpr int kMostJobs = 256;

int CommandLineError(const std::string& what, const po::options_description& description, std::ostream& err) {
  err << "vhdx-inspect-json: " << what << '\n' << description << std::endl;
  return kCommandLineError;
}

// What the command line asks for, once it is understood.
struct Request {
  std::string path;
  bool file;
  bool recursive;
  unsigned jobs;
};

// Inspects the file, or scans the folder, and returns the exit status.
int RunImages(const Request& request, const platform::NarrowArguments& narrowArguments, std::ostream& out,
              std::ostream& err) {
  std::unique_ptr<ImageRun> run;
  if (request.jobs == 1 || request.file) {
    run = std::make_unique<SequentialRun>(out);
  } else {
    run = std::make_unique<ParallelRun>(out, request.jobs);
  }
  // A name that is not the one given is refused before anything is opened:
  // a file as an open that failed, a folder as one that does not exist.
  if (request.file) {
    const std::optional<std::string> shown = narrowArguments.ShownIfInexact(request.path);
    run->Image(shown ? ImageName{*shown, false} : ImageName{request.path, true});
    run->Finish();
    return run->AllSound() ? kAllSound : kImageNotSound;
  }
  if (const std::optional<std::string> shown = narrowArguments.ShownIfInexact(request.path)) {
    err << "vhdx-inspect-json: VHDX directory " << *shown << " does not exist." << std::endl;
    return kFolderNotScanned;
  }
  const bool scanned = ScanFolder(request.path, request.recursive, *run, err);
  if (!scanned) return kFolderNotScanned;
  return run->AllSound() ? kAllSound : kImageNotSound;
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err,
                   const platform::NarrowArguments& narrowArguments) {
  bool help = false;
  bool recursive = false;
  std::string imagePath;
  std::string folderPath;
  int jobs = kDefaultJobs;

  po::options_description description("Command-line Options", 100, 40);
  description.add_options()("help,h", po::bool_switch(&help), "Print help")(
      "vhdx-file,f", po::value<std::string>(&imagePath), "Path to the plugin vhdx file")(
      "vhdx-path,p", po::value<std::string>(&folderPath), "Path to the plugin vhdx directory")(
      "recursive,r", po::bool_switch(&recursive), "With -p: also the directories below it")(
      "jobs,j", po::value<int>(&jobs), "With -p: images inspected at once, 1 to 256 (default 8)");

  po::variables_map values;
  try {
    // No positional arguments: a word without its option is an error.
    const po::positional_options_description none;
    po::store(po::command_line_parser(argc, argv).options(description).positional(none).run(), values);
    po::notify(values);
  } catch (const po::error& e) {
    return CommandLineError(e.what(), description, err);
  }
  if (help) {
    out << "Usage: vhdx-inspect-json -f FILE | -p FOLDER [-r]\n"
           "One JSON object per image, one per line.\n"
        << description << std::endl;
    return kAllSound;
  }
  const bool file = values.count("vhdx-file") != 0;
  const bool folder = values.count("vhdx-path") != 0;
  if (file == folder) return CommandLineError("give one of -f FILE and -p FOLDER", description, err);
  if (recursive && !folder) return CommandLineError("-r goes with -p FOLDER", description, err);
  if (jobs < 1 || jobs > kMostJobs) return CommandLineError("-j takes a number from 1 to 256", description, err);

  const Request request{file ? imagePath : folderPath, file, recursive, static_cast<unsigned>(jobs)};
  try {
    return RunImages(request, narrowArguments, out, err);
  } catch (const RunInterrupted&) {
    // The run is gone: its workers stopped, every line written is whole.
    err << "vhdx-inspect-json: interrupted" << std::endl;
    return kInterrupted;
  }
}

}  // namespace json_app
