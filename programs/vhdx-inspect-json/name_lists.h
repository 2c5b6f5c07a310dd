// Lists of files for vhdx-inspect-json: --files-from (one name per line) and
// --files0-from (names ended by NUL, for names that hold line ends). A name
// is taken as its bytes, in the program's narrow encoding (the ANSI code page
// on Windows), as an argument would be.
//
// A line's end is LF; one CR before it is dropped too, so that a list written
// on Windows names the same files (a name that ends in CR can be given with
// --files0-from). The last name needs no end of its own. An empty name (an
// empty line, two NULs in a row) names no file: it is reported, and the list
// goes on.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>

#include "common/named_path.h"

namespace json_app {

enum class ListForm {
  kLines,  // --files-from
  kNuls,   // --files0-from
};

// Splits the bytes of a list into names as they arrive, in any pieces.
class NameSplitter {
 public:
  // Takes each name with its number in the list (from 1); an empty name is
  // handed over as one.
  using Take = std::function<void(const std::string& name, std::size_t number)>;

  NameSplitter(ListForm form, Take take) : form_(form), take_(std::move(take)) {}

  // The next bytes of the list.
  void Feed(std::string_view bytes);
  // The end of the list: a last name without its end is taken.
  void End();

 private:
  void TakeName();

  const ListForm form_;
  Take take_;
  std::string name_;  // the bytes of the name so far
  std::size_t number_ = 0;
};

// Reads the list `list` ("-": standard input) and hands `image` each of its
// names in order. A list that cannot be read (opened or read to its end),
// and each empty name in it, gets one line on `err`, after "<program>: ".
// Returns false when that
// happened. Raises RunInterrupted (image_run.h) once the user interrupted
// the run, instead of a line about a read or an open that the interrupt cut
// short.
bool ReadNameList(const vhdx_programs::NamedPath& list, ListForm form,
                  const std::function<void(const std::string& name)>& image, std::ostream& err,
                  std::string_view program);

}  // namespace json_app
