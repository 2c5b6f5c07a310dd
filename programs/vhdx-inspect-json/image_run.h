// What happens to each image a scan or a list names: inspected, then what
// the run's ImageOutput makes of it put out in order (vhdx-inspect-json: its
// JSON line, written and flushed before the next image is inspected).
//
// The folder walk and the lists of files only hand paths to an ImageRun, in
// the order they meet them; a bounded parallel run (inspecting several images
// at once and writing their lines in that order) is another ImageRun.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "common/named_path.h"
#include "vhdx_inspect/inspect.h"

namespace json_app {

// An image as the scan or the command line names it. A name without an exact
// narrow form (on Windows) is never opened: it is reported as an open that
// failed, under the form shown with "?" (common/named_path.h).
using ImageName = vhdx_programs::NamedPath;
using vhdx_programs::InspectNamed;

// Raised by ImageRun::Image once the user interrupted the run (Ctrl+C): no
// further image is taken, and no line is cut short.
struct RunInterrupted {};

// Throws RunInterrupted when the user interrupted the run.
void ThrowIfInterrupted();

// What an output makes of one inspection, kept until the images before it
// are put out.
struct Made {
  virtual ~Made() = default;
  bool sound = false;  // set by the run: the image's verdict is sound
};

// Where a run's images go. Make runs on the thread that inspected the image
// (any worker of a parallel run); Put on the scan's thread, in the order the
// images were handed over. vhdx-inspect-json's output is JsonLines; the
// report program's keeps each image's record for its page.
class ImageOutput {
 public:
  virtual ~ImageOutput() = default;
  virtual std::unique_ptr<Made> Make(const vhdx_inspect::Inspection& inspection) const = 0;
  virtual void Put(Made& made) = 0;
};

// Each image's JSON line, written and flushed (WriteLine).
class JsonLines final : public ImageOutput {
 public:
  explicit JsonLines(std::ostream& out) : out_(out) {}
  std::unique_ptr<Made> Make(const vhdx_inspect::Inspection& inspection) const override;
  void Put(Made& made) override;

 private:
  std::ostream& out_;
};

class ImageRun {
 public:
  virtual ~ImageRun() = default;
  // Takes the next image of the scan.
  virtual void Image(const ImageName& name) = 0;
  // Called once after the last image: every line is written when it returns.
  virtual void Finish() {}
  // False once an image was not sound.
  virtual bool AllSound() const = 0;
};

// One image after another, with one inspector whose working buffers serve
// every image.
class SequentialRun final : public ImageRun {
 public:
  explicit SequentialRun(ImageOutput& output) : output_(output) {}
  void Image(const ImageName& name) override;
  bool AllSound() const override { return allSound_; }

 private:
  ImageOutput& output_;
  vhdx_inspect::Inspector inspector_{vhdx_inspect::ReadPolicy::kExaminedExtents, vhdx_inspect::Structure::kChecked};
  bool allSound_ = true;
};

// Writes one line and flushes it; raises RunInterrupted instead when the
// user interrupted the run, before or during the write.
void WriteLine(const std::string& line, std::ostream& out);

// Makes what `output` makes of `inspection`, marked sound or not.
std::unique_ptr<Made> MakeOf(const ImageOutput& output, const vhdx_inspect::Inspection& inspection);

}  // namespace json_app
