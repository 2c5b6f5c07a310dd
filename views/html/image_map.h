// The maps of one image: the file from offset 0 to its end, and the virtual
// disk from LBA 0 to its end, each an inline SVG drawn on a BrokenAxis
// (broken_axis.h). One row for each structure, in grey, labelled with its
// name, offset and length; then one row for each failure and finding, in a
// colour of its own (the Okabe-Ito palette, which people with the common
// colour-vision deficiencies tell apart), drawn over the structure it
// concerns (finding_place.h) and named beside it. Whatever lies past the
// file's end is drawn there, past the end marker.
#pragma once

#include <cstddef>
#include <string>

#include "views/html/image_record.h"

namespace vhdx_inspect::views::html {

// Appends the maps of `record` (which holds map facts) as one <section
// class="map" id="map-N">, N being `number`, the image's row. The failure's
// row is a group of class "mark failed", each finding's one of class "mark
// finding", each with the check's name in data-check.
void AppendImageMaps(std::string& out, const ImageRecord& record, std::size_t number);

// What every map refers to, once in the page before the first: the hatching
// of what lies past the end or has no known place (pattern "hatch").
void AppendMapDefinitions(std::string& out);

}  // namespace vhdx_inspect::views::html
