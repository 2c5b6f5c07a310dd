// The JSON view of an inspection: one object per image, for scripts.
//
// The object's shape is published in vhdx-inspect-json.schema.json (schema
// version 1). Within a schema version, fields are only added: none is
// renamed, moved or nested anew.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::views::json {

// The schema version every object carries as "schema_version".
inline constexpr int kSchemaVersion = 1;

// The object for `inspection`: schema_version, path, verdict, failure (when
// there is one), gpt_findings, warnings, then each record that was reached.
// Keys keep this order.
nlohmann::ordered_json JsonReport(const vhdx_inspect::Inspection& inspection);

// The object as one line of JSON, without the line end. Bytes that are not
// UTF-8 become U+FFFD, so the line is always valid JSON. The path is the
// inspection's, which on Windows is the UTF-16 name as UTF-8.
std::string JsonLine(const vhdx_inspect::Inspection& inspection);

}  // namespace vhdx_inspect::views::json
