// Record openness: a copy of a tree in which every record that declares a
// field admits any further key (open) or only its declared fields (close).
// Opening and closing are projections: a record's own clauses are replaced.
#pragma once

#include "schema/node.h"

namespace tarmelix::reasoning {

SchemaNode set_record_openness(const SchemaNode& node, bool open);

}  // namespace tarmelix::reasoning

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using reasoning::set_record_openness;
}  // namespace tarmelix
