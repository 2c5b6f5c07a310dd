// The options that name images, and the run over them: what
// vhdx-inspect-json is, apart from its usage text. vhdx-inspect-report takes
// the same options and runs the same scan, with its lines going to the
// report page instead of standard output.
#pragma once

#include <boost/program_options.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "vhdx-inspect-json/image_run.h"

namespace json_app {

// Images inspected at once unless -j says otherwise (the manual page says
// why this number), and at most.
inline constexpr int kDefaultJobs = 8;
inline constexpr int kMostJobs = 256;

// One of the forms that name images, as the command line gives it.
struct ImageSource {
  enum class Form { kImage, kLines, kNuls } form;
  std::string value;
};

// What the command line asks for, once it is understood: a folder, or the
// forms that name images.
struct Request {
  std::string folder;
  std::vector<ImageSource> sources;
  bool recursive = false;
  unsigned jobs = kDefaultJobs;
  // The program whose name starts each line about the run on the error stream.
  std::string program = "vhdx-inspect-json";
};

// The options that name images (FILE... as the positional "vhdx-file", -f,
// --files-from, --files0-from, -p, -r, -j), filled in as they are parsed.
class ImageOptions {
 public:
  // Adds the options to `description`, in the order the help lists them.
  void AddTo(boost::program_options::options_description& description);
  // The positional words: image paths, as with -f.
  static boost::program_options::positional_options_description Positional();
  // The request the parsed options make, or why they make none (a line for
  // the command-line error): no images or both images and -p, -r without
  // -p, -j out of range. `parsed` gives the order of the sources.
  std::string MakeRequest(const boost::program_options::parsed_options& parsed,
                          const boost::program_options::variables_map& values, Request& request) const;
  // True when any option that names images was given.
  static bool AnyGiven(const boost::program_options::variables_map& values);

 private:
  std::string folder_;
  bool recursive_ = false;
  int jobs_ = kDefaultJobs;
};

// Inspects the images the request names, or scans its folder, with what
// `output` makes of each image put out in order (JsonLines: each object's
// line) and the lines about the run on `err`, and
// returns the exit status (common/exit_status.h): kFolderNotScanned when not
// every image could be reached, else kImageNotSound when one was not sound.
// Raises RunInterrupted (image_run.h) when the user interrupted the run.
int RunImages(const Request& request, ImageOutput& output, std::ostream& err);

}  // namespace json_app
