// The page's table: worst first is the caller's order; every row once, in
// that order, with its path escaped; after kRowsPerTable rows, further
// tables of the same columns, each in its own <div class="rows">.
#include <gtest/gtest.h>

// g++ 12 at -O3 (the mingw-w64 build) warns of an overlapping memcpy inside
// std::string's operator+ in this file's loops: a false -Wrestrict, GCC bug
// 105329.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include <numeric>
#include <string>
#include <vector>

#include "views/html/image_record.h"
#include "views/html/image_table.h"

namespace {

using namespace vhdx_inspect::views::html;

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(ImageTable, SplitsLongTablesAndKeepsEveryRowInOrder) {
  const std::size_t images = 2 * kRowsPerTable + 1;
  std::vector<ImageRecord> records(images);
  for (std::size_t i = 0; i < images; ++i) records[i].path = "<" + std::to_string(i) + ">";
  std::vector<std::size_t> order(images);
  std::iota(order.rbegin(), order.rend(), std::size_t{0});  // the last record first
  std::string out;
  AppendImageTable(out, records, order);

  EXPECT_EQ(Count(out, "<table class=\"images\">"), 3u);
  EXPECT_EQ(Count(out, "</table>"), 3u);
  EXPECT_EQ(Count(out, "<div class=\"rows\">"), 2u);
  EXPECT_EQ(Count(out, "</div>"), 2u);
  EXPECT_EQ(Count(out, "<colgroup>"), 3u);
  EXPECT_EQ(Count(out, "<tr id=\"row-"), images);
  std::size_t previous = 0;
  for (std::size_t row = 1; row <= images; ++row) {
    const std::size_t at = out.find("<tr id=\"row-" + std::to_string(row) + "\"");
    ASSERT_NE(at, std::string::npos) << row;
    EXPECT_GT(at, previous) << row;
    previous = at;
    // Row N shows record order[N - 1], its path escaped.
    const std::string path = "&lt;" + std::to_string(order[row - 1]) + "&gt;";
    EXPECT_EQ(out.find(path, at), out.find("<td class=\"path\">", at) + 17) << row;
  }
  // The second table starts after row kRowsPerTable.
  EXPECT_LT(out.find("<tr id=\"row-" + std::to_string(kRowsPerTable) + "\""), out.find("<div class=\"rows\">"));
  EXPECT_GT(out.find("<tr id=\"row-" + std::to_string(kRowsPerTable + 1) + "\""), out.find("<div class=\"rows\">"));
}

}  // namespace
