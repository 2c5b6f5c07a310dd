#include "image_folder.h"

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "common/folder_walk.h"
#include "common/named_path.h"
#include "path_argument.h"

namespace vhdx_python {
namespace {

namespace py = pybind11;

// What the walk could not look at: the folder given, a folder below it, or
// an entry named like an image.
struct Problem {
  std::string name;
  vhdx_programs::SystemCause cause;
};

vhdx_programs::SystemCause CauseOf(int status) { return {status, std::generic_category().message(status)}; }

// The walk runs without the GIL; every this many entries, and only in the
// main thread, where Python runs its signal handlers, it takes the GIL back
// to let a handler run, so that Ctrl+C ends a long walk with its
// KeyboardInterrupt. A thousand entries take a few milliseconds to list
// locally, and taking the GIL while another thread runs Python costs up to
// its switch interval (5 ms): at most 0.5 s added to a walk of 100,000
// entries in the worst case.
constexpr unsigned kEntriesBetweenSignalChecks = 1024;

// Keeps what the walk finds, for Python to get once the GIL is back.
class Collector final : public vhdx_programs::WalkSink {
 public:
  // Thrown to end the walk at its first problem.
  struct Stop {};

  Collector(bool stopAtFirstProblem, bool checkSignals)
      : stopAtFirstProblem_(stopAtFirstProblem), checkSignals_(checkSignals) {}

  void BeforeEntry() override {
    if (!checkSignals_ || ++entries_ % kEntriesBetweenSignalChecks != 0) return;
    const py::gil_scoped_acquire held;
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
  void Image(const vhdx_programs::NamedPath& image) override { images.push_back(image.path); }
  void EntryNotExamined(const std::string& entry, const vhdx_programs::SystemCause& cause) override {
    Add(entry, cause);
  }
  void FolderMissing(const std::string& folder) override { Add(folder, CauseOf(ENOENT)); }
  void NotAFolder(const std::string& folder) override { Add(folder, CauseOf(ENOTDIR)); }
  void FolderNotListed(const std::string& folder, const vhdx_programs::SystemCause& cause) override {
    Add(folder, cause);
  }

  std::vector<std::string> images;
  std::vector<Problem> problems;

 private:
  void Add(const std::string& name, const vhdx_programs::SystemCause& cause) {
    problems.push_back({name, cause});
    if (stopAtFirstProblem_) throw Stop{};
  }

  const bool stopAtFirstProblem_;
  const bool checkSignals_;
  unsigned entries_ = 0;
};

bool InMainThread() {
  const py::object threading = py::module_::import("threading");
  return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

// A name in the form of the folder given: bytes, or str as os.fsdecode()
// gives it (os.fsencode() gives back the bytes).
py::object NameInForm(const std::string& name, bool asBytes) {
  if (asBytes) return py::bytes(name);
  return FileSystemText(name);
}

// OSError(errno, text, name): Python makes it the subclass of the code
// (FileNotFoundError, NotADirectoryError, PermissionError...), as os.listdir's.
py::object ErrorOf(const Problem& problem, bool asBytes) {
  return py::reinterpret_borrow<py::object>(PyExc_OSError)(problem.cause.status, problem.cause.text,
                                                           NameInForm(problem.name, asBytes));
}

[[noreturn]] void Raise(const py::object& error) {
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())), error.ptr());
  throw py::error_already_set();
}

py::list FindImages(py::handle folder, bool recursive, const py::object& onerror) {
  // os.fspath(folder): its type is the names' (bytes for bytes, else str),
  // as os.listdir's.
  const py::object given = py::reinterpret_steal<py::object>(PyOS_FSPath(folder.ptr()));
  if (!given) throw py::error_already_set();
  const bool asBytes = PyBytes_Check(given.ptr()) != 0;
  // On POSIX a name is its bytes in either form (common/name_form.h).
  const vhdx_programs::NamedPath named{FileSystemPath(given), true, vhdx_programs::NameForm::kNarrow};
  const vhdx_programs::WalkRule rule{vhdx_programs::ImageExtension::kAnyCase, recursive};

  Collector collector(onerror.is_none(), InMainThread());
  try {
    const py::gil_scoped_release released;
    vhdx_programs::WalkFolder(named, rule, collector);
  } catch (const Collector::Stop&) {
    Raise(ErrorOf(collector.problems.front(), asBytes));
  }
  for (const Problem& problem : collector.problems) onerror(ErrorOf(problem, asBytes));
  py::list images;
  for (const std::string& image : collector.images) images.append(NameInForm(image, asBytes));
  return images;
}

constexpr const char* kFindImagesDoc =
    "Lists the images of `folder` as vhdx-inspect-json -p FOLDER does: every entry\n"
    "that is not a folder and whose name ends in \".vhdx\" in any case (BACKUP.VHDX,\n"
    "x.Vhdx), in the file system's listing order; with `recursive`, the folders\n"
    "below too, each walked where the listing meets it (links to folders are never\n"
    "followed). A link whose target is missing is listed: inspecting it says why.\n"
    "\n"
    "`folder` is str, bytes or os.PathLike; the names come back in the type of\n"
    "os.fspath(folder): bytes for bytes, else str as os.fsdecode() gives it, which\n"
    "opens the same file. Each is the folder's name joined with the entry's.\n"
    "\n"
    "What cannot be walked raises OSError with the system's code and text and the\n"
    "name as its filename: FileNotFoundError for a missing folder,\n"
    "NotADirectoryError for one that is something else, the code's own subclass\n"
    "(PermissionError...) for a folder, the one given or one below it, that cannot\n"
    "be listed, and for an entry named like an image whose status cannot be read\n"
    "(a link loop). The first such problem ends the walk. With `onerror`, the walk\n"
    "goes on instead, as vhdx-inspect-json does: once it has ended, onerror is\n"
    "called with each problem's OSError in the order met, and what was found is\n"
    "returned (an exception from onerror propagates).\n"
    "\n"
    "The GIL is released during the walk; Ctrl+C ends a long one in the main thread.";

}  // namespace

void BindFindImages(py::module_& module) {
  module.def("find_images", &FindImages, py::arg("folder"), py::arg("recursive") = false, py::kw_only(),
             py::arg("onerror") = py::none(), kFindImagesDoc);
}

}  // namespace vhdx_python
