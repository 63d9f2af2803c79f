// The validator core: what one Validator holds, and the limits check that
// assembles it from a finished schema.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "schema/node.h"
#include "schema/pool.h"
#include "schema/walker.h"

namespace tarmelix::schema {

// The lazily built per-validator lookup tables are defined by the membership
// walk; the core only owns the slot.
struct WalkPlanBase {
  virtual ~WalkPlanBase() = default;
};

enum class WalkPlanState : uint8_t { NotBuilt = 0, Building = 1, Built = 2 };

struct ValidatorCore {
  Constants constants;
  DefinitionTable definitions;
  SchemaNode root;
  uint32_t node_count = 0;  // nodes numbered, root and definitions (SchemaNode::slot)
  std::unique_ptr<WalkPlanBase> walk_plan;  // valid only when Built
  std::atomic<WalkPlanState> walk_plan_state{WalkPlanState::NotBuilt};
  std::mutex walk_plan_mutex;

  ValidatorCore() = default;
  ValidatorCore(Constants c, DefinitionTable d, SchemaNode r)
      : constants(std::move(c)), definitions(std::move(d)), root(std::move(r)) {
    node_count = number_nodes(root, definitions);
  }
  // A copy shares the constants (new references), deep-copies the trees
  // (their numbering with them) and starts with the plan not built.
  ValidatorCore(const ValidatorCore& o)
      : constants(o.constants), definitions(o.definitions), root(o.root),
        node_count(o.node_count) {}
  // Moves happen only before a core is published, so the plan is never built.
  ValidatorCore(ValidatorCore&& o) noexcept
      : constants(std::move(o.constants)),
        definitions(std::move(o.definitions)),
        root(std::move(o.root)),
        node_count(o.node_count) {}
  ValidatorCore& operator=(const ValidatorCore&) = delete;
  ValidatorCore& operator=(ValidatorCore&&) = delete;
};

// Measures depth, then definition count, then node count; on success the
// core, else empty with the ValueError set (everything passed in released).
std::optional<ValidatorCore> check_limits(SchemaNode root, Constants constants,
                                            DefinitionTable definitions);

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::WalkPlanBase;
using schema::WalkPlanState;
using schema::ValidatorCore;
using schema::check_limits;
}  // namespace tarmelix
