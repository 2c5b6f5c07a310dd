// The page's table: one row per image, worst first, with its path (a link to
// its map when it has one), verdict, failed check (or GPT findings), the
// check's line and the warnings.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "views/html/image_record.h"

namespace vhdx_inspect::views::html {

// `order` lists indices into `records` in the order of the rows; row N (from
// 1) has id "row-N", and its map, when it has one, id "map-N".
void AppendImageTable(std::string& out, const std::vector<ImageRecord>& records, const std::vector<std::size_t>& order);

}  // namespace vhdx_inspect::views::html
