#include "image_tree.h"

#include "support/plugin_image.h"

namespace json_test {

namespace fs = std::filesystem;
using testsupport::ImageDescription;
using testsupport::PluginImage;

void WriteSound(const fs::path& path) { PluginImage::Build(ImageDescription{}).WriteTo(path.string()); }

void WriteDamaged(const fs::path& path) {
  ImageDescription d;
  d.signature = "vhdxfilz";
  PluginImage::Build(d).WriteTo(path.string());
}

fs::path WriteTree(const testsupport::ScratchDirectory& scratch) {
  const fs::path root = scratch.path() / "tree";
  fs::create_directories(root / "below" / "deeper");
  fs::create_directories(root / "folder.vhdx");
  WriteSound(root / "a.vhdx");
  WriteDamaged(root / "b.vhdx");
  WriteSound(root / "c.vhdx");
  WriteSound(root / "upper.VHDX");
  WriteSound(root / "twice.vhdx.bak");
  WriteSound(root / "below" / "d.vhdx");
  WriteSound(root / "below" / "deeper" / "e.vhdx");
  return root;
}

}  // namespace json_test
