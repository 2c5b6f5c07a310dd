#include "vhdx-inspect-json/command_line.h"

#include <boost/program_options.hpp>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/exit_status.h"
#include "common/named_path.h"
#include "vhdx-inspect-json/folder_lines.h"
#include "vhdx-inspect-json/image_run.h"
#include "vhdx-inspect-json/name_lists.h"
#include "vhdx-inspect-json/parallel_run.h"

namespace json_app {

namespace po = boost::program_options;

namespace {

// Images inspected at once unless -j says otherwise (the manual page says
// why this number).
constexpr int kDefaultJobs = 8;
constexpr int kMostJobs = 256;

constexpr char kUsage[] =
    "Usage: vhdx-inspect-json [-j JOBS] FILE... | -f FILE... | --files-from LIST | --files0-from LIST\n"
    "       vhdx-inspect-json [-j JOBS] -p FOLDER [-r]\n"
    "One JSON object per image, one per line, in the order the images are given.\n"
    "The forms that name images combine, in the order given; LIST \"-\" is standard input.\n";

int CommandLineError(const std::string& what, const po::options_description& description, std::ostream& err) {
  err << "vhdx-inspect-json: " << what << '\n' << description << std::endl;
  return vhdx_programs::kCommandLineError;
}

// One of the forms that name images, as the command line gives it.
struct ImageSource {
  enum class Form { kImage, kLines, kNuls } form;
  std::string value;
};

// The forms that name images, in the order of the command line: image paths
// (positional or -f), --files-from and --files0-from.
std::vector<ImageSource> ImageSourcesInOrder(const po::parsed_options& parsed) {
  std::vector<ImageSource> sources;
  for (const po::option& option : parsed.options) {
    ImageSource::Form form;
    if (option.string_key == "vhdx-file") {
      form = ImageSource::Form::kImage;
    } else if (option.string_key == "files-from") {
      form = ImageSource::Form::kLines;
    } else if (option.string_key == "files0-from") {
      form = ImageSource::Form::kNuls;
    } else {
      continue;
    }
    for (const std::string& value : option.value) sources.push_back({form, value});
  }
  return sources;
}

// What the command line asks for, once it is understood: a folder, or the
// forms that name images.
struct Request {
  std::string folder;
  std::vector<ImageSource> sources;
  bool recursive;
  unsigned jobs;
};

// Hands `run` the images that `sources` name; false when a list could not be
// read whole.
bool RunSources(const std::vector<ImageSource>& sources, ImageRun& run, std::ostream& err) {
  bool whole = true;
  for (const ImageSource& source : sources) {
    // Every name as given, opened by its exact form (name_form.h).
    const vhdx_programs::NamedPath named{source.value, true, vhdx_programs::NameForm::kUnicode};
    if (source.form == ImageSource::Form::kImage) {
      run.Image(named);
      continue;
    }
    const ListForm form = source.form == ImageSource::Form::kLines ? ListForm::kLines : ListForm::kNuls;
    whole = ReadNameList(
                named, form,
                [&run](const std::string& name) {
                  run.Image(ImageName{name, true, vhdx_programs::NameForm::kUnicode});
                },
                err) &&
            whole;
  }
  return whole;
}

// Inspects the images, or scans the folder, and returns the exit status.
int RunImages(const Request& request, std::ostream& out, std::ostream& err) {
  std::unique_ptr<ImageRun> run;
  if (request.jobs == 1) {
    run = std::make_unique<SequentialRun>(out);
  } else {
    run = std::make_unique<ParallelRun>(out, err, request.jobs);
  }
  const bool whole = request.sources.empty()
                         ? ScanFolder(vhdx_programs::NamedPath{request.folder, true, vhdx_programs::NameForm::kUnicode},
                                      request.recursive, *run, err)
                         : RunSources(request.sources, *run, err);
  run->Finish();
  if (!whole) return vhdx_programs::kFolderNotScanned;
  return run->AllSound() ? vhdx_programs::kAllSound : vhdx_programs::kImageNotSound;
}

// RunCommandLine, with what the run raises left to the caller.
int RunCommandLineOrRaise(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  bool help = false;
  bool recursive = false;
  std::string folderPath;
  int jobs = kDefaultJobs;

  po::options_description description("Command-line Options", 100, 40);
  description.add_options()("help,h", po::bool_switch(&help), "Print help")(
      "vhdx-file,f", po::value<std::vector<std::string>>()->value_name("FILE"),
      "Path to a plugin vhdx file (repeatable; also FILE...)")(
      "files-from", po::value<std::vector<std::string>>()->value_name("LIST"),
      "Paths from LIST, one per line (\"-\": standard input)")(
      "files0-from", po::value<std::vector<std::string>>()->value_name("LIST"),
      "Paths from LIST, each ended by NUL (\"-\": standard input)")(
      "vhdx-path,p", po::value<std::string>(&folderPath)->value_name("FOLDER"), "Path to the plugin vhdx directory")(
      "recursive,r", po::bool_switch(&recursive), "With -p: also the directories below it")(
      "jobs,j", po::value<int>(&jobs)->value_name("JOBS"), "Images inspected at once, 1 to 256 (default 8)");

  po::variables_map values;
  std::vector<ImageSource> sources;
  try {
    // A word without an option is an image path, as with -f.
    po::positional_options_description images;
    images.add("vhdx-file", -1);
    const po::parsed_options parsed = po::command_line_parser(argc, argv).options(description).positional(images).run();
    po::store(parsed, values);
    po::notify(values);
    sources = ImageSourcesInOrder(parsed);
  } catch (const po::error& e) {
    return CommandLineError(e.what(), description, err);
  }
  if (help) {
    out << kUsage << description << std::endl;
    return vhdx_programs::kAllSound;
  }
  const bool folder = values.count("vhdx-path") != 0;
  if (folder == !sources.empty()) {
    return CommandLineError("give images (FILE..., -f, --files-from, --files0-from) or one -p FOLDER", description,
                            err);
  }
  if (recursive && !folder) return CommandLineError("-r goes with -p FOLDER", description, err);
  if (jobs < 1 || jobs > kMostJobs) return CommandLineError("-j takes a number from 1 to 256", description, err);

  const Request request{folderPath, std::move(sources), recursive, static_cast<unsigned>(jobs)};
  try {
    return RunImages(request, out, err);
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
