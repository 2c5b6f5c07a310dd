// The one way a string from an image, a file name or a line of JSON reaches
// the report page: every such string goes through AppendEscaped (or
// EscapeHtml), whether it lands in HTML text, in a quoted attribute value or
// in SVG text. The page's own fixed markup is the only text written
// unescaped.
#pragma once

#include <string>
#include <string_view>

namespace vhdx_inspect::views::html {

// Appends `text` to `out` so that it reads as the same characters in HTML
// text, in a double- or single-quoted attribute value and in SVG text, and
// can never open or close markup:
//   & < > " '       as &amp; &lt; &gt; &quot; &#39;
//   U+0000-U+001F   as the control pictures U+2400-U+241F (a tab, a line
//                   end or an escape in a file name stays visible)
//   U+007F          as U+2421, the picture of DEL
//   U+0080-U+009F   as U+FFFD (C1 controls have no picture)
//   bytes that are not UTF-8 (a stray continuation byte, a sequence cut
//   short, an overlong form, a surrogate, a value above U+10FFFF): U+FFFD
//   for each maximal part of a sequence that cannot be completed, as the
//   JSON view replaces them
// Everything else is copied as it is.
void AppendEscaped(std::string& out, std::string_view text);

// `text` escaped as AppendEscaped does.
std::string EscapeHtml(std::string_view text);

}  // namespace vhdx_inspect::views::html
