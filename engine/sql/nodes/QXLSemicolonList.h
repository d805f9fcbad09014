#pragma once
// Lists written as text with ";" between items (GROUP BY column lists, Locate
// field names). Stateless.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qxl {

// From the 1-based position Pos, the text up to the next ";" or the end,
// trimmed of blanks and control characters; Pos moves past the ";", or to the
// end plus one when there is none.
void ExtractSemicolonItem(std::string_view Text, std::int32_t& Pos, std::string& Item);
// The items of Text upper-cased, in order: "A;;B" gives A, "" and B; a final
// ";" adds no empty item.
void SplitSemicolonList(std::vector<std::string>& List, std::string_view Text);

// A name upper-cased as names compare (UTF-8 in and out).
std::string UpperCaseName(std::string_view Name);

}  // namespace qxl
