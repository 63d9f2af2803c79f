// The leaf oracle: the questions the decision procedures cannot answer from
// the trees alone (class inclusion, literal membership, the order of pooled
// constants, integers between two bounds). Every answer is a small enum; the
// oracle clears each exception its Python calls raise, fatal ones included,
// and answers that it cannot decide.
#pragma once

#include <cstdint>

#include "schema/full_match.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::reasoning {

enum class LeafAnswer : uint8_t { No = 0, Yes = 1, Undecided = 2 };

enum class ConstantOrder : int8_t { Less = -1, Equal = 0, Greater = 1, Undecided = -2 };

class LeafOracle {
 public:
  // S and T are nodes over the oracle's pool and definitions.
  virtual LeafAnswer leaf_relation(const SchemaNode& s, const SchemaNode& t) const = 0;
  // Order of pooled constant i against pooled constant j.
  virtual ConstantOrder compare_constants(uint64_t i, uint64_t j) const = 0;
  // Yes when no integer n satisfies lower <= n <= upper (strict where the
  // flag says the bound excludes its own value).
  virtual LeafAnswer no_integer_between(uint64_t lower, bool lower_exclusive, uint64_t upper,
                                        bool upper_exclusive) const = 0;

 protected:
  ~LeafOracle() = default;
};

// The oracle over one validator's (or one decision's shared) pool and
// definitions; it borrows both for the length of one decision, and compiles
// each pattern its literal checks meet once for the whole decision.
class PoolOracle final : public LeafOracle {
 public:
  PoolOracle(const Constants& constants, const DefinitionTable& definitions)
      : constants_(constants), definitions_(definitions) {}

  LeafAnswer leaf_relation(const SchemaNode& s, const SchemaNode& t) const override;
  ConstantOrder compare_constants(uint64_t i, uint64_t j) const override;
  LeafAnswer no_integer_between(uint64_t lower, bool lower_exclusive, uint64_t upper,
                                bool upper_exclusive) const override;

 private:
  const Constants& constants_;
  const DefinitionTable& definitions_;
  mutable FullMatchCache patterns_;
};

}  // namespace tarmelix::reasoning
