#include "vhdx-inspect-json/image_request.h"

#include <memory>
#include <string_view>

#include "common/exit_status.h"
#include "common/named_path.h"
#include "vhdx-inspect-json/folder_lines.h"
#include "vhdx-inspect-json/image_run.h"
#include "vhdx-inspect-json/name_lists.h"
#include "vhdx-inspect-json/parallel_run.h"

namespace json_app {

namespace po = boost::program_options;

namespace {

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

// Hands `run` the images that `sources` name; false when a list could not be
// read whole.
bool RunSources(const std::vector<ImageSource>& sources, ImageRun& run, std::ostream& err, std::string_view program) {
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
                err, program) &&
            whole;
  }
  return whole;
}

}  // namespace

void ImageOptions::AddTo(po::options_description& description) {
  description.add_options()("vhdx-file,f", po::value<std::vector<std::string>>()->value_name("FILE"),
                            "Path to a plugin vhdx file (repeatable; also FILE...)")(
      "files-from", po::value<std::vector<std::string>>()->value_name("LIST"),
      "Paths from LIST, one per line (\"-\": standard input)")(
      "files0-from", po::value<std::vector<std::string>>()->value_name("LIST"),
      "Paths from LIST, each ended by NUL (\"-\": standard input)")(
      "vhdx-path,p", po::value<std::string>(&folder_)->value_name("FOLDER"), "Path to the plugin vhdx directory")(
      "recursive,r", po::bool_switch(&recursive_), "With -p: also the directories below it")(
      "jobs,j", po::value<int>(&jobs_)->value_name("JOBS"), "Images inspected at once, 1 to 256 (default 8)");
}

po::positional_options_description ImageOptions::Positional() {
  po::positional_options_description images;
  images.add("vhdx-file", -1);
  return images;
}

bool ImageOptions::AnyGiven(const po::variables_map& values) {
  for (const char* name : {"vhdx-file", "files-from", "files0-from", "vhdx-path", "jobs"}) {
    if (values.count(name) != 0) return true;
  }
  return values.count("recursive") != 0 && values["recursive"].as<bool>();
}

std::string ImageOptions::MakeRequest(const po::parsed_options& parsed, const po::variables_map& values,
                                      Request& request) const {
  std::vector<ImageSource> sources = ImageSourcesInOrder(parsed);
  const bool folder = values.count("vhdx-path") != 0;
  if (folder == !sources.empty()) return "give images (FILE..., -f, --files-from, --files0-from) or one -p FOLDER";
  if (recursive_ && !folder) return "-r goes with -p FOLDER";
  if (jobs_ < 1 || jobs_ > kMostJobs) return "-j takes a number from 1 to 256";
  request.folder = folder_;
  request.sources = std::move(sources);
  request.recursive = recursive_;
  request.jobs = static_cast<unsigned>(jobs_);
  return "";
}

int RunImages(const Request& request, ImageOutput& output, std::ostream& err) {
  std::unique_ptr<ImageRun> run;
  if (request.jobs == 1) {
    run = std::make_unique<SequentialRun>(output);
  } else {
    run = std::make_unique<ParallelRun>(output, err, request.jobs, request.program);
  }
  const bool whole = request.sources.empty()
                         ? ScanFolder(vhdx_programs::NamedPath{request.folder, true, vhdx_programs::NameForm::kUnicode},
                                      request.recursive, *run, err, request.program)
                         : RunSources(request.sources, *run, err, request.program);
  run->Finish();
  if (!whole) return vhdx_programs::kFolderNotScanned;
  return run->AllSound() ? vhdx_programs::kAllSound : vhdx_programs::kImageNotSound;
}

}  // namespace json_app
