#include "vhdx-inspect-report/command_line.h"

#include <boost/program_options.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "common/exit_status.h"
#include "common/name_form.h"
#include "common/platform/host_name.h"
#include "common/platform/run_control.h"
#include "vhdx-inspect-json/image_request.h"
#include "vhdx-inspect-json/image_run.h"
#include "vhdx-inspect-report/page_lines.h"
#include "views/html/report_page.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace report_app {

namespace po = boost::program_options;
namespace html = vhdx_inspect::views::html;

namespace {

constexpr char kProgram[] = "vhdx-inspect-report: ";

constexpr char kUsage[] =
    "Usage: vhdx-inspect-report [-o FILE] [--maps all] [-j JOBS] FILE... | -f FILE... | --files-from LIST | "
    "--files0-from LIST\n"
    "       vhdx-inspect-report [-o FILE] [--maps all] [-j JOBS] -p FOLDER [-r]\n"
    "       vhdx-inspect-report [-o FILE] [--maps all] --from-json JSONL\n"
    "One HTML page for the images: a summary, a table of every image worst first, and a map of each image\n"
    "that is not sound. The images are scanned as vhdx-inspect-json scans them, or their JSON lines are\n"
    "read from JSONL (\"-\": standard input).\n";

int CommandLineError(const std::string& what, const po::options_description& description, std::ostream& err) {
  err << kProgram << what << '\n' << description << std::endl;
  return vhdx_programs::kCommandLineError;
}

std::string SystemMessage(int error) { return std::generic_category().message(error); }

// The time now, "2026-12-11 09:41:07 UTC".
std::string UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm parts{};
#ifdef _WIN32
  if (::gmtime_s(&parts, &now) != 0) return "at an unknown time";
#else
  if (::gmtime_r(&now, &parts) == nullptr) return "at an unknown time";
#endif
  char text[32];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) == 0) return "at an unknown time";
  return text;
}

// The file `name` names (kUnicode), for the C library.
std::filesystem::path PathOf(const std::string& name) {
  return std::filesystem::path(vhdx_programs::NativeOfUnicodeName(name));
}

struct CloseFile {
  void operator()(std::FILE* file) const {
    if (file != stdin) std::fclose(file);
  }
};

// The JSON lines to read: standard input for "-" (in binary mode, so that
// the system changes no line end), else the file opened.
std::unique_ptr<std::FILE, CloseFile> OpenLines(const std::string& name) {
  if (name == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return {stdin, CloseFile{}};
  }
#ifdef _WIN32
  return std::unique_ptr<std::FILE, CloseFile>(::_wfopen(PathOf(name).c_str(), L"rb"));
#else
  return std::unique_ptr<std::FILE, CloseFile>(std::fopen(name.c_str(), "rb"));
#endif
}

// Feeds the page every line of `name`; false (after one line on `err`) when
// it cannot be opened or read to its end. Raises RunInterrupted when the
// user interrupted the reading.
bool ReadJsonLines(const std::string& name, PageLines& lines, std::ostream& err) {
  const std::string shown = name == "-" ? "standard input" : name;
  const std::unique_ptr<std::FILE, CloseFile> file = OpenLines(name);
  if (!file) {
    const int error = errno;
    json_app::ThrowIfInterrupted();
    err << kProgram << "cannot read " << shown << ": " << SystemMessage(error) << std::endl;
    return false;
  }
  LineStream stream(lines);
  std::vector<char> buffer(std::size_t{64} * 1024);
  while (true) {
    json_app::ThrowIfInterrupted();
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    stream.sputn(buffer.data(), static_cast<std::streamsize>(got));
    if (got == buffer.size()) continue;
    if (std::ferror(file.get()) != 0) {
      const int error = errno;
      json_app::ThrowIfInterrupted();
      err << kProgram << "cannot read " << shown << ": " << SystemMessage(error) << std::endl;
      std::clearerr(file.get());
      stream.End();
      return false;
    }
    if (std::feof(file.get()) != 0) break;
  }
  stream.End();
  return true;
}

// What the command line asks for beyond the images.
struct Output {
  std::string file;  // empty or "-": standard output
  bool mapsForAll = false;
};

// Writes the page to `out`; an interrupt that cuts the write short raises
// RunInterrupted.
void WritePage(const html::ReportPage& page, const html::MadeFrom& made, std::ostream& out) {
  json_app::ThrowIfInterrupted();
  try {
    page.Write(out, made);
  } catch (...) {
    if (!out.bad() || !vhdx_programs::InterruptRequested()) throw;
    out.exceptions(std::ios::goodbit);
    throw json_app::RunInterrupted{};
  }
}

// RunCommandLine, with what the run raises left to the caller.
int RunCommandLineOrRaise(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  bool help = false;
  json_app::ImageOptions imageOptions;
  std::string outputFile;
  std::string fromJson;
  std::string maps = "damaged";

  po::options_description description("Command-line Options", 100, 40);
  description.add_options()("help,h", po::bool_switch(&help), "Print help");
  imageOptions.AddTo(description);
  description.add_options()("output,o", po::value<std::string>(&outputFile)->value_name("FILE"),
                            "Write the page to FILE (default: standard output)")(
      "from-json", po::value<std::string>(&fromJson)->value_name("JSONL"),
      "Make the page from JSON lines of vhdx-inspect-json (\"-\": standard input) instead of a scan")(
      "maps", po::value<std::string>(&maps)->value_name("WHICH"),
      R"(Maps for "damaged" images (default) or for "all")");

  po::variables_map values;
  std::optional<po::parsed_options> parsed;
  try {
    parsed.emplace(po::command_line_parser(argc, argv)
                       .options(description)
                       .positional(json_app::ImageOptions::Positional())
                       .run());
    po::store(*parsed, values);
    po::notify(values);
  } catch (const po::error& e) {
    return CommandLineError(e.what(), description, err);
  }
  if (help) {
    out << kUsage << description << std::endl;
    return vhdx_programs::kAllSound;
  }
  if (maps != "all" && maps != "damaged") return CommandLineError("--maps takes all or damaged", description, err);
  const bool fromLines = values.count("from-json") != 0;
  json_app::Request request;
  request.program = "vhdx-inspect-report";
  if (fromLines) {
    if (json_app::ImageOptions::AnyGiven(values)) {
      return CommandLineError("--from-json takes no images, -p, -r or -j", description, err);
    }
  } else {
    const std::string problem = imageOptions.MakeRequest(*parsed, values, request);
    if (!problem.empty()) return CommandLineError(problem, description, err);
  }

  // The file is opened before the scan, so that a page that cannot be
  // written is known at once.
  const bool toFile = !outputFile.empty() && outputFile != "-";
  std::ofstream file;
  if (toFile) {
    file.open(PathOf(outputFile), std::ios::binary | std::ios::trunc);
    if (!file) {
      err << kProgram << "cannot write the report to " << outputFile << ": " << SystemMessage(errno) << std::endl;
      return vhdx_programs::kReportNotWritten;
    }
  }
  const auto removeFile = [&] {
    if (!toFile) return;
    file.close();
    std::error_code ignored;
    std::filesystem::remove(PathOf(outputFile), ignored);
  };

  html::ReportPage page;
  html::MadeFrom made{UtcNow(),
                      vhdx_programs::HostName(),
                      std::string("vhdx-inspect-report ") + VHDX_INSPECT_VERSION,
                      fromLines ? "JSON lines" : "a scan",
                      {}};
  for (int i = 1; i < argc; ++i) made.inputs.emplace_back(argv[i]);
  int status = vhdx_programs::kAllSound;
  try {
    if (fromLines) {
      PageLines lines(page, maps == "all", fromJson == "-" ? "standard input" : fromJson, err);
      const bool whole = ReadJsonLines(fromJson, lines, err);
      if (!whole || !lines.AllValid()) {
        status = vhdx_programs::kFolderNotScanned;
      } else if (!lines.AllSound()) {
        status = vhdx_programs::kImageNotSound;
      }
    } else {
      PageLines lines(page, maps == "all", "the scan's", err);
      PageOutput output(lines, maps == "all");
      status = json_app::RunImages(request, output, err);
      if (!lines.AllValid()) status = vhdx_programs::kFolderNotScanned;
    }
    if (toFile) {
      WritePage(page, made, file);
      file.close();
      if (!file) {
        err << kProgram << "cannot write the report to " << outputFile << ": " << SystemMessage(errno) << std::endl;
        removeFile();
        return vhdx_programs::kReportNotWritten;
      }
    } else {
      WritePage(page, made, out);
    }
  } catch (const json_app::RunInterrupted&) {
    // No page: the images after the interrupt were never seen.
    removeFile();
    err << kProgram << "interrupted" << std::endl;
    return vhdx_programs::kInterrupted;
  }
  return status;
}

}  // namespace

int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err) {
  try {
    return RunCommandLineOrRaise(argc, argv, out, err);
  } catch (const std::bad_alloc&) {
    err << kProgram << "cannot write the report: " << std::strerror(ENOMEM) << std::endl;
    return vhdx_programs::kReportNotWritten;
  }
}

}  // namespace report_app
