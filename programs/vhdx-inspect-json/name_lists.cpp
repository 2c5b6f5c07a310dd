#include "vhdx-inspect-json/name_lists.h"

#include "common/name_form.h"
#include "vhdx-inspect-json/image_run.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace json_app {
namespace {

// Closes a list's file; standard input stays open for a later "-".
struct CloseFile {
  void operator()(std::FILE* file) const {
    if (file != stdin) std::fclose(file);
  }
};

// The list to read: standard input for "-" (in binary mode, so that the
// system changes no line end), else the file opened.
std::unique_ptr<std::FILE, CloseFile> OpenList(const std::string& list) {
  if (list == "-") {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    return {stdin, CloseFile{}};
  }
#ifdef _WIN32
  // By its exact UTF-16 name (common/name_form.h).
  return std::unique_ptr<std::FILE, CloseFile>(::_wfopen(vhdx_programs::NativeOfUnicodeName(list).c_str(), L"rb"));
#else
  return std::unique_ptr<std::FILE, CloseFile>(std::fopen(list.c_str(), "rb"));
#endif
}

std::string SystemMessage(int error) { return std::generic_category().message(error); }

void ReportUnreadable(const std::string& shown, const std::string& cause, std::ostream& err, std::string_view program) {
  err << program << ": cannot read the list " << shown << ": " << cause << std::endl;
}

}  // namespace

void NameSplitter::Feed(std::string_view bytes) {
  const char end = form_ == ListForm::kLines ? '\n' : '\0';
  while (!bytes.empty()) {
    const std::size_t at = bytes.find(end);
    if (at == std::string_view::npos) {
      name_.append(bytes);
      return;
    }
    name_.append(bytes.substr(0, at));
    TakeName();
    bytes.remove_prefix(at + 1);
  }
}

void NameSplitter::End() {
  if (!name_.empty()) TakeName();
}

void NameSplitter::TakeName() {
  if (form_ == ListForm::kLines && !name_.empty() && name_.back() == '\r') name_.pop_back();
  take_(name_, ++number_);
  name_.clear();
}

bool ReadNameList(const vhdx_programs::NamedPath& list, ListForm form,
                  const std::function<void(const std::string& name)>& image, std::ostream& err,
                  std::string_view program) {
  if (!list.exact) {
    ReportUnreadable(list.path, SystemMessage(ENOENT), err, program);
    return false;
  }
  errno = 0;
  const std::unique_ptr<std::FILE, CloseFile> file = OpenList(list.path);
  if (file == nullptr) {
    // An open that an interrupt cut short (a FIFO without a writer yet) ends
    // the run, with no line about the list.
    ThrowIfInterrupted();
    ReportUnreadable(list.path, SystemMessage(errno == 0 ? ENOENT : errno), err, program);
    return false;
  }
  bool whole = true;
  NameSplitter splitter(form, [&](const std::string& name, std::size_t number) {
    if (name.empty()) {
      err << program << ": " << list.path << ": name " << number << " is empty" << std::endl;
      whole = false;
      return;
    }
    image(name);
  });
  char buffer[8192];
  for (;;) {
    // A list that never ends (a pipe whose writer stays) is read until the
    // user interrupts the run: an interrupt before the read ends the run
    // here, and one during it cuts the read short (the interrupt is caught
    // without SA_RESTART), which ends the run below, with no line about the
    // list, as the folder walk does (folder_lines.cpp).
    ThrowIfInterrupted();
    errno = 0;
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    splitter.Feed(std::string_view(buffer, got));
    if (got == sizeof buffer) continue;
    if (std::ferror(file.get())) {
      ThrowIfInterrupted();
      ReportUnreadable(list.path, SystemMessage(errno == 0 ? EIO : errno), err, program);
      return false;
    }
    break;
  }
  splitter.End();
  return whole;
}

}  // namespace json_app
