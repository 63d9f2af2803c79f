// Record openness: a copy of a tree in which every record that declares a
// field admits any further key (open) or only its declared fields (close).
// Opening and closing are projections: a record's own clauses are replaced.
#pragma once

#include <vector>

#include "schema/node.h"

namespace tarmelix {

SchemaNode set_record_openness(const SchemaNode& node, bool open);
SequencePattern set_pattern_openness(const SequencePattern& pattern, bool open);
std::vector<SchemaNode> set_members_openness(const std::vector<SchemaNode>& members, bool open);
std::vector<RecordField> set_fields_openness(const std::vector<RecordField>& fields, bool open);

}  // namespace tarmelix
