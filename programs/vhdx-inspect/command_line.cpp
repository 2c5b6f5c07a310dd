#include "vhdx-inspect/command_line.h"

#include <boost/program_options.hpp>
#include <string>

#include "common/exit_status.h"
#include "common/named_path.h"

#include "vhdx-inspect/directory_mode.h"
#include "vhdx-inspect/inspect_plugin_vhdx.h"

namespace app {

namespace po = boost::program_options;

int RunCommandLine(int argc, const char* const argv[], std::ostream& out,
                   const vhdx_programs::NarrowArguments& narrowArguments) {
  bool help = false;
  std::string imagePath;
  std::string directoryPath;

  po::options_description description("Command-line Options", 100, 40);
  description.add_options()("help,h", po::bool_switch(&help), "Print help")(
      "vhdx-file,f", po::value<std::string>(&imagePath), "Path to the plugin vhdx file")(
      "vhdx-path,p", po::value<std::string>(&directoryPath), "Path to the plugin vhdx directory");

  try {
    po::variables_map values;
    po::store(po::command_line_parser(argc, argv).options(description).run(), values);
    po::notify(values);
    if (argc < 2) {
      out << description << std::endl;
      return vhdx_programs::kCommandLineError;
    }
    if (help) {
      out << description << std::endl;
      return vhdx_programs::kAllSound;
    }
  } catch (const po::error& e) {
    out << e.what() << std::endl << description;
  }

  // A name that is not the one given is refused with the line its open or
  // listing fails with when Windows cannot represent it.
  if (!directoryPath.empty()) {
    ScanVhdxDirectory(vhdx_programs::NamedByArgument(narrowArguments, directoryPath), out);
  } else if (!imagePath.empty()) {
    // The text program reads whole regions: one 1 MiB and one 2 MiB read per image.
    vhdx_inspect::Inspector inspector(vhdx_inspect::ReadPolicy::kWholeRegions);
    InspectPluginVhdx(inspector, vhdx_programs::NamedByArgument(narrowArguments, imagePath), out);
  } else {
    out << "Please specify a VHDX path or file" << std::endl;
    return vhdx_programs::kCommandLineError;
  }
  return vhdx_programs::kAllSound;
}

}  // namespace app
