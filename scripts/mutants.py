#!/usr/bin/env python3
"""Mutation pass over the fast roads: each mutant below makes one plausible
mistake in the shortcuts of the reference walk (the plan's facts, the SIMD JSON
road, the error list's repeat rules, the bounded got texts); the test suite
should fail on every one that changes an answer, a record or a text.

    python scripts/mutants.py              # every mutant
    python scripts/mutants.py --list       # the table, each entry checked against HEAD
    python scripts/mutants.py --only NAME...
    python scripts/mutants.py --jobs 2     # ninja's -j (default 1)

The mutants are applied to a clone of HEAD in build-mutants/ (reset to HEAD each
run, changes not committed are not in it; --worktree-tests copies tests/ from
the checkout over the clone's), built incrementally in one build folder there,
and the clone's pytest suite runs against that build with -x. An entry with an
`equivalent` note argues why it changes nothing observable: it is expected to
survive. Exit status 1 when a mutant that should die survives.
"""

from __future__ import annotations

import argparse
import dataclasses
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CACHE = ROOT / "build-mutants"
CLONE = CACHE / "src"
BUILD = CACHE / "build"


@dataclasses.dataclass(frozen=True)
class Mutant:
    name: str
    file: str  # relative to the repository
    original: str  # occurs exactly once in the file
    replacement: str
    mistake: str
    equivalent: str = ""  # why nothing observable changes, for one expected to survive
    first: tuple[str, ...] = ()  # test files to run before the usual order


M = Mutant
MUTANTS = [
    # --- src/json/simd_tape.h: stepping over runs on the tape
    M("number_run_stride", "src/json/simd_tape.h",
      "k = skip_run<2>(mask, count);",
      "k = skip_run<1>(mask, count);",
      "a tape run of numbers stepped one word a value instead of two",
      first=("test_tape_runs.py",)),
    M("one_word_run_fourth_kind", "src/json/simd_tape.h",
      "(steps[w[3 * Stride] >> 56].bit & mask) != 0;",
      "(steps[w[2 * Stride] >> 56].bit & mask) != 0;",
      "a run tests its third item's kind twice and never the fourth's",
      first=("test_tape_runs.py",)),
    M("one_word_run_bound", "src/json/simd_tape.h",
      "for (; k + 4 <= count; k += 4, w += 4 * Stride) {",
      "for (; k < count; k += 4, w += 4 * Stride) {",
      "a run may look at four values past the array's last",
      equivalent="past an array's last value lies its closing word, whose type no run "
                 "admits, so a run can never step beyond the array"),
    M("mixed_run_stride", "src/json/simd_tape.h",
      "      } else {\n        w += 2;\n      }",
      "      } else {\n        w += 1;\n      }",
      "a run of mixed widths steps a number by one word",
      first=("test_tape_runs.py",)),
    M("int_run_payload_twice", "src/json/simd_tape.h",
      "admits(static_cast<int64_t>(w[3]))",
      "admits(static_cast<int64_t>(w[1]))",
      "an int-literal run tests the first item's payload twice, the second's never",
      first=("test_tape_runs.py",)),
    M("int_run_kind_unchecked", "src/json/simd_tape.h",
      "(w[6] >> 56) == 'l' && ",
      "",
      "an int-literal run reads the fourth value's payload without its kind",
      first=("test_tape_runs.py",)),
    M("key_words_width", "src/json/simd_tape.h",
      "if (pattern.width <= 16) return matches_words(at, pattern);",
      "if (pattern.width <= 17) return matches_words(at, pattern);",
      "a key of 13 bytes compared by its first 16 bytes only",
      first=("test_key_texts.py",)),
    M("width_mask_short", "src/json/simd_tape.h",
      "return ONES + JsonKeyPattern::BYTES - width;",
      "return ONES + JsonKeyPattern::BYTES - width + 1;",
      "the mask of a long key one byte short of its width",
      first=("test_key_texts.py",)),
    # --- src/json/json_plan.cpp: facts the JSON roads read
    M("short_texts_width", "src/json/json_plan.cpp",
      "return text.width <= 8; });",
      "return text.width <= 9; });",
      "a literal text of 5 bytes compared by its first word alone",
      first=("test_key_texts.py",)),
    M("wide_text_width", "src/json/json_plan.cpp",
      "set.wide |= set.texts[i].width > 16;",
      "set.wide |= set.texts[i].width > 17;",
      "a literal text of 13 bytes compared by two words, its last byte unread",
      first=("test_key_texts.py",)),
    M("key_mask_short", "src/json/json_plan.cpp",
      "key.width > 8 * i ? key.width - 8 * i : 0);",
      "key.width > 8 * i ? key.width - 8 * i - 1 : 0);",
      "a short key's mask one byte short of its width",
      first=("test_key_texts.py",)),
    M("expected_name_prefix", "src/json/json_plan.h",
      "if (s.length != n || !check::same_bytes(bytes_.data() + s.offset, p, n)) return {};",
      "if (!check::same_bytes(bytes_.data() + s.offset, p, n)) return {};",
      "a key taken as the field name expected next when it only begins it"),
    M("equal_bounds_open_lost", "src/json/json_plan.cpp",
      "if (x > r.float_lo || (x == r.float_lo && open)) r.float_lo = x, r.float_lo_open = open;",
      "if (x > r.float_lo) r.float_lo = x, r.float_lo_open = open;",
      "of a closed and an open lower bound at one value, the open one lost"),
    M("tag_member_by_position", "src/json/json_plan.cpp",
      "facts.str_tag_members[i] = static_cast<uint8_t>(*member);",
      "facts.str_tag_members[i] = static_cast<uint8_t>(i);",
      "a string tag's member taken as the tag's position among the texts",
      first=("test_tagged_unions.py",)),
    M("above_int64_side", "src/json/json_plan.cpp",
      "if (lower) no_ints();",
      "if (!lower) no_ints();",
      "an upper bound above the int64 range taken to refuse every int"),
    M("exact_in_double_edge", "src/json/json_plan.cpp",
      "if (b.integer > EXACT_IN_DOUBLE || b.integer < -EXACT_IN_DOUBLE) {",
      "if (b.integer >= EXACT_IN_DOUBLE || b.integer <= -EXACT_IN_DOUBLE) {",
      "a bound of exactly 2**53 kept from the float range",
      equivalent="2**53 is exact as a double, so leaving floats to the constraint one "
                 "by one gives the same answer, only slower"),
    # --- src/json/json_walk_impl.h: the JSON walk's shortcuts
    M("length_quick_rounding", "src/json/json_walk_impl.h",
      "if (n <= r.length_hi && (n + 3) / 4 >= r.length_lo) return true;",
      "if (n <= r.length_hi && (n + 4) / 4 >= r.length_lo) return true;",
      "the fewest code points a text of n bytes holds rounded up once too often"),
    M("length_lower_bound", "src/json/json_walk_impl.h",
      "if (n < r.length_lo) return false;",
      "if (n <= r.length_lo) return false;",
      "a text of exactly the least length in bytes refused"),
    M("bool_order_flipped", "src/json/json_walk_impl.h",
      "order = check::order_of_int(value.boolean() ? 1 : 0, native);",
      "order = check::order_of_int(value.boolean() ? 0 : 1, native);",
      "a JSON bool ordered against a bound as the other bool"),
    M("tag_first_entry", "src/json/json_walk_impl.h",
      "if (named) found = key.next();",
      "if (named && !found) found = key.next();",
      "a repeated tag key counted by its first entry, not its last"),
    M("in_order_required_after", "src/json/json_walk_impl.h",
      "for (size_t p = checked; p < nfields; ++p) {",
      "for (size_t p = checked + 1; p < nfields; ++p) {",
      "the first field no key named not asked whether it is required"),
    M("in_order_base_kind", "src/json/json_walk_impl.h",
      "if ((facts.kinds & kind_bit(value.kind())) == 0) return false;",
      "if (false) return false;",
      "a bounded field's ranges asked before its base's kind"),
    M("failed_state_passed", "src/json/json_walk_impl.h",
      "states[i] = i < checked ? FieldState::Passed : FieldState::Failed;",
      "states[i] = i <= checked ? FieldState::Passed : FieldState::Failed;",
      "the in-order walk's failed field handed on as passed"),
    M("repeat_search_self", "src/json/json_walk_impl.h",
      "for (size_t m = j + 1; m < others.size() && !repeated; ++m) {",
      "for (size_t m = j; m < others.size() && !repeated; ++m) {",
      "an undeclared key's search for a later entry finds the key itself"),
    M("dict_key_kind_unchecked", "src/json/json_walk_impl.h",
      "if (!(key_kinds & kind_bit(key.kind())) || !(value_kinds & kind_bit(key.next().kind()))) {",
      "if (!(value_kinds & kind_bit(key.next().kind()))) {",
      "a dict of kinds decided alone tests its values' kinds but not its keys'"),
    M("besides_list_refused", "src/json/json_walk_impl.h",
      "if (value.kind() != K::Array) return (facts.kinds & kind_bit(value.kind())) != 0;",
      "if (value.kind() != K::Array) return false;",
      "a field of a list or other kinds refuses the other kinds"),
    M("items_beside_array", "src/json/json_plan.cpp",
      "    if (besides & JSON_ARRAY) return;",
      "",
      "a union of a list and a member taking arrays decides every array by the list"),
    M("items_undecided_taken", "src/json/json_walk_impl.h",
      "if (held ? !*held : !walk_undecided(*shape->tail, element, ctx)) return false;",
      "if (held && !*held) return false;",
      "a list's item its facts do not decide is taken without its walk"),
    # --- src/json/json_fast.cpp: the SIMD road's choices and the explaining build
    M("refused_first_entry", "src/json/json_fast.cpp",
      "last[*field] = i;",
      "if (last[*field] == SIZE_MAX) last[*field] = i;",
      "the explaining build walks a repeated key's first entry, not its last"),
    M("refused_item_shifted", "src/json/json_fast.cpp",
      "hint->items.push_back({i, std::move(below.value), std::move(below.hint)});",
      "hint->items.push_back({i + 1, std::move(below.value), std::move(below.hint)});",
      "a refused list item's record put at the next index"),
    M("load_walks_user_code", "src/json/json_road.cpp",
      "road.tape_walk = own_code;",
      "road.tape_walk = plan != nullptr;",
      "load walks the tape where the walk runs the user's code, which then runs twice",
      first=("test_user_code_on_json.py",)),
    M("negative_zero_unseen", "src/json/simd_tape.h",
      "if (type == 'd' && words[at + 1] == 0x8000000000000000ULL) return true;",
      "if (type == 'l' && words[at + 1] == 0x8000000000000000ULL) return true;",
      "a -0.0 on the tape not sent to the event parser",
      equivalent="only asked where the parser reads the literal -0 as -0.0; simdjson 3.0 "
                 "reads it as the int 0, so the scan never runs (tests/test_json_as_loaded.py "
                 "holds -0 for a parser that does)"),
    # --- literal texts picked by their first word, lists of them, maps of walked values
    M("text_first_word_only", "src/json/simd_tape.h",
      "return (w[0] == text.words[0]) & ((w[1] & text.masks[1]) == text.words[1]);",
      "return w[0] == text.words[0];",
      "a literal text picked by a string's first word taken without comparing the second"),
    M("text_first_word_place", "src/json/simd_tape.h",
      "const uint8_t i = set.by_word[(w[0] * set.multiplier) >> 59];",
      "const uint8_t i = set.by_word[(w[0] * set.multiplier) >> 60];",
      "a string's first word sent to the place of one bit fewer than the plan's"),
    M("text_first_word_short", "src/json/json_plan.cpp",
      "[](const JsonKeyPattern& text) { return text.masks[0] == ~uint64_t{0}; })) {",
      "[](const JsonKeyPattern& text) { return text.width > 4; })) {",
      "texts under four bytes picked by a first word that holds bytes past them"),
    M("literal_text_run_unchecked", "src/json/json_walk_impl.h",
      "if (!element.text_in(sets.few)) return false;",
      "if (!element.is_string()) return false;",
      "a list of literal texts steps over its strings without comparing them"),
    M("map_walked_key_unchecked", "src/json/json_walk_impl.h",
      "if (!(key_kinds & kind_bit(key.kind())) || !walk(items, key.next(), ctx)) break;",
      "if (!walk(items, key.next(), ctx)) break;",
      "a map of walked values takes keys of a kind its key schema refuses"),
    M("map_walked_user_code", "src/json/json_walk_impl.h",
      "} else if (keys && !slow_paths_only() && own_code_only(ctx)) {",
      "} else if (keys && !slow_paths_only()) {",
      "a map walks its values in one pass where user code runs, which then runs again"),
    # --- src/json/tape_build.cpp
    M("big_int_signed", "src/json/tape_build.cpp",
      "return py::Ref::steal(PyLong_FromUnsignedLongLong(v.unsigned_integer()));",
      "return py::Ref::steal(PyLong_FromLongLong(v.integer()));",
      "an integer above the int64 range built from its payload read as signed"),
    # --- src/check/walk_plan.h and walk_plan.cpp: the plan's facts
    M("dense_ints_lookup_width", "src/check/walk_plan.h",
      "return offset < 64 && (int_bits >> offset & 1) != 0;",
      "return offset <= 64 && (int_bits >> offset & 1) != 0;",
      "the int literals' 64-bit mask looked up one past its width",
      first=("test_tape_runs.py", "test_plan_facts.py")),
    M("dense_ints_build_width", "src/check/walk_plan.cpp",
      "if (offset >= 64) return;",
      "if (offset > 64) return;",
      "the int literals' 64-bit mask built with a value one past its width",
      first=("test_tape_runs.py", "test_plan_facts.py")),
    M("user_bound_own_code", "src/json/json_plan.cpp",
      "if (!bound || !(PyLong_CheckExact(bound) || PyFloat_CheckExact(bound))) return false;",
      "if (!bound || !(PyLong_Check(bound) || PyFloat_Check(bound))) return false;",
      "a bound of a subclass of the user's counted as our own code",
      first=("test_user_code_on_json.py",)),
    M("bool_literal_footprint", "src/json/json_plan.cpp",
      "if (type == &PyBool_Type) return JSON_BOOL;",
      "if (type == &PyBool_Type) return JSON_INT;",
      "a bool literal's footprint put under the int kind"),
    M("shared_tag_unseen", "src/check/walk_plan.cpp",
      "if (owner && *owner != i) {",
      "if (false && owner && *owner != i) {",
      "a tag two members share taken as the last one's",
      first=("test_tagged_unions.py",)),
    M("optional_tag_field", "src/check/walk_plan.cpp",
      "return found && found->required ? found : nullptr;",
      "return found;",
      "a tagged union chosen by a field some member does not require",
      first=("test_tagged_unions.py",)),
    # --- src/check/quick_test.h, fast_sequence.cpp, union_walk.cpp, record_walk.cpp
    M("exact_class_refuses_subclass", "src/check/quick_test.h",
      "if (e->exact_class) return Py_TYPE(v) == reinterpret_cast<PyTypeObject*>(e->exact_class) ? 1 : -1;",
      "if (e->exact_class) return Py_TYPE(v) == reinterpret_cast<PyTypeObject*>(e->exact_class) ? 1 : 0;",
      "an instance of a subclass refused where the walk should decide"),
    M("list_int_exact", "src/check/fast_sequence.cpp",
      "return first_failure(items, n, [](PyObject* o) { return PyLong_Check(o); });",
      "return first_failure(items, n, [](PyObject* o) { return PyLong_CheckExact(o); });",
      "the list loop of int refuses subclasses of int"),
    M("typed_elements_no_fallback", "src/check/fast_sequence.cpp",
      "if (bit == 0) return {false, true, i};",
      "if (bit == 0) return pure_outcome(i, tested, ctx);",
      "an element of a type with no bit refused instead of handed to the walk"),
    M("record_list_bound_stale", "src/check/fast_sequence.cpp",
      "if (is_list) bound = std::min(PyList_GET_SIZE(v), tested);",
      "if (is_list) bound = tested;",
      "the list's length not read again after a field walk that may change it"),
    M("record_item_path_shifted", "src/check/fast_sequence.cpp",
      "walk_record(node.fields, node.clauses, item, path.index(static_cast<uint64_t>(i)), ctx,",
      "walk_record(node.fields, node.clauses, item, path.index(static_cast<uint64_t>(i + 1)), ctx,",
      "a record item's failures listed at the next index"),
    M("tag_value_subclass", "src/check/union_walk.cpp",
      "if (PyUnicode_CheckExact(tag)) {",
      "if (PyUnicode_Check(tag)) {",
      "a str subclass tag value looked up as the literal it equals",
      equivalent="a tag is an exact str literal, which admits no subclass: the member "
                 "the mistake picks refuses the value as every member does"),
    M("attribution_last_tie", "src/check/union_walk.cpp",
      "if (i == 0 || depth > best_depth) {",
      "if (i == 0 || depth >= best_depth) {",
      "of candidates reaching one depth, the last explains the failure"),
    M("required_counted_twice", "src/check/record_walk.cpp",
      "if (field.required && seen.mark(*position) && required > 0) --required;",
      "if (field.required && required > 0) --required;",
      "a required field counted once per key naming it"),
    M("seen_positions_width", "src/check/record_walk.cpp",
      "if (count > 64) wide_.assign((count + 63) / 64, 0);",
      "if (count > 65) wide_.assign((count + 63) / 64, 0);",
      "the required fields' one-word bit set kept for 65 fields, the last sharing the first's bit",
      first=("test_wide_records.py",)),
    # --- src/errors/error_list.cpp and build_record.cpp: the repeat rules
    M("repeat_without_got_value", "src/errors/error_list.cpp",
      "if (a.got_value.get() != b.got_value.get()) return false;",
      "",
      "a record judged a repeat without its got value",
      first=("test_error_repeat_rules.py",)),
    M("equal_texts_without_got", "src/errors/error_list.cpp",
      "return a.got == b.got && same_path_code_expected(a, b);",
      "return same_path_code_expected(a, b);",
      "repeats of error records judged without the got text",
      first=("test_error_repeat_rules.py",)),
    M("repeat_scan_skips_last", "src/errors/error_list.cpp",
      "for (size_t j = 0; j < kept && !repeated; ++j) {",
      "for (size_t j = 0; j + 1 < kept && !repeated; ++j) {",
      "the repeat scan of equal texts skips the last record kept",
      first=("test_error_repeat_rules.py",)),
    M("key_hash_without_got", "src/errors/error_list.cpp",
      ": fx_add(fx_add(h, 4), fx_hash_bytes(r.got));",
      ": fx_add(h, 4);",
      "the list's hash of a record leaves out its got text",
      equivalent="the hash only narrows the search: every slot whose hash matches is "
                 "compared in full, got text included"),
    M("pending_first_skipped", "src/errors/build_record.cpp",
      "for (size_t i = first; i < errors.size(); ++i) {",
      "for (size_t i = first + 1; i < errors.size(); ++i) {",
      "the first record waiting for its got text never given one",
      first=("test_error_repeat_rules.py",)),
    # --- src/render: bounded got texts
    M("bytes_del_raw", "src/render/bounded_repr.cpp",
      "} else if (c < ' ' || c >= 0x7F) {",
      "} else if (c < ' ' || c > 0x7F) {",
      "the bounded got text of bytes leaves DEL raw",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("str_del_raw", "src/render/bounded_repr.cpp",
      "} else if (ch < ' ' || ch == 0x7F) {",
      "} else if (ch < ' ') {",
      "the bounded got text of a str leaves DEL raw",
      equivalent="DEL is no printable character, so the later test of the code points "
                 "up to U+00FF that are none writes it as \\x7f all the same",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("str_quote_both", "src/render/bounded_repr.cpp",
      "const Py_UCS4 quote = single >= 0 && dbl < 0 ? '\"' : '\\'';",
      "const Py_UCS4 quote = single >= 0 ? '\"' : '\\'';",
      "a str holding both quotes written between double quotes",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("bytes_quote_both", "src/render/bounded_repr.cpp",
      "std::memchr(data, '\\'', n) && !std::memchr(data, '\"', n) ? '\"' : '\\'';",
      "std::memchr(data, '\\'', n) ? '\"' : '\\'';",
      "bytes holding both quotes written between double quotes",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("latin1_escape_edge", "src/render/bounded_repr.cpp",
      "} else if (ch <= 0xFF) {",
      "} else if (ch < 0xFF) {",
      "U+00FF left out of the two-digit escapes",
      equivalent="U+00FF is printable, so it is written as itself before this test; "
                 "every non-printable character up to U+00FF lies below it"),
    M("writer_full_early", "src/render/bounded_repr.cpp",
      "bool full() const noexcept { return chars_ > max_chars_; }",
      "bool full() const noexcept { return chars_ >= max_chars_; }",
      "the bounded writer stops at the limit, so a cut text shows no mark",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("repr_subclass_result_raw", "src/render/preview.cpp",
      "if (PyUnicode_CheckExact(result)) return str_text(result);",
      "if (PyUnicode_Check(result)) return str_text(result);",
      "a str subclass returned by __repr__ shown raw, not through its str()",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("truncate_one_more", "src/render/utf8_text.cpp",
      "while (pos < text.size() && chars < max_chars) {",
      "while (pos < text.size() && chars <= max_chars) {",
      "a cut text keeps one character past the limit",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("utf8_two_byte_edge", "src/render/utf8_text.cpp",
      "} else if (cp < 0x800) {",
      "} else if (cp <= 0x800) {",
      "U+0800 encoded in two bytes",
      first=("test_got_text_characters.py", "test_got_text.py")),
    M("overlong_accepted", "src/render/utf8_text.cpp",
      "if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;",
      "if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;",
      "an overlong UTF-8 sequence read as one code point",
      equivalent="every text read here is UTF-8 the interpreter or the parser made or "
                 "checked, which holds no overlong sequence"),
]

# Test files most likely to kill a mutant of the fast roads, in this order; the rest
# follow in name order.
FIRST_TESTS = [
    "test_fast_paths.py", "test_plan_facts.py", "test_walk_plan.py", "test_json.py",
    "test_json_load.py", "test_got_text.py", "test_errors.py", "test_bounded_records.py",
    "test_union_record.py", "test_walk.py", "test_render.py", "test_constraints.py",
]


def say(text: str) -> None:
    print(text, flush=True)


def die(text: str) -> None:
    print(f"error: {text}", file=sys.stderr, flush=True)
    sys.exit(2)


def run(cmd, **kw) -> subprocess.CompletedProcess:
    return subprocess.run(cmd, check=True, **kw)


def find_venv() -> Path:
    """The first .venv-3.X with cmake, ninja and pytest; else one made as the other
    scripts make theirs."""
    def minor(p: Path) -> int:
        m = re.fullmatch(r"\.venv-3\.(\d+)", p.name)
        return int(m.group(1)) if m else -1

    for venv in sorted((p for p in ROOT.glob(".venv-3.*") if minor(p) >= 0), key=minor):
        bin_ = venv / "bin"
        if not all((bin_ / tool).exists() for tool in ("python", "cmake", "ninja")):
            continue
        if subprocess.run([bin_ / "python", "-c", "import pytest, hypothesis"],
                          capture_output=True).returncode == 0:
            return venv
    say("==> no .venv-3.X with cmake, ninja and pytest: making one")
    made = subprocess.run(
        ["bash", "-c", 'source scripts/common.sh; require_pythons; ver="${PYTHONS[0]%% *}"; '
         'ensure_venv ".venv-$ver" "${PYTHONS[0]#* }" pytest hypothesis >&2; echo "$ver"'],
        cwd=ROOT, check=True, stdout=subprocess.PIPE, text=True)
    return ROOT / f".venv-{made.stdout.split()[-1]}"


def git(*args: str, cwd: Path = CLONE, capture: bool = False) -> str:
    out = subprocess.run(["git", *args], cwd=cwd, check=True, text=True,
                         stdout=subprocess.PIPE if capture else subprocess.DEVNULL)
    return out.stdout.strip() if capture else ""


def reset_clone(worktree_tests: bool) -> str:
    """The clone at the checkout's HEAD, with nothing else changed."""
    head = git("rev-parse", "HEAD", cwd=ROOT, capture=True)
    CACHE.mkdir(exist_ok=True)
    if not (CLONE / ".git").exists():
        say(f"==> cloning {ROOT} into {CLONE}")
        if CLONE.exists():
            shutil.rmtree(CLONE)
        run(["git", "clone", "-q", "--no-checkout", str(ROOT), str(CLONE)])
    git("fetch", "-q", str(ROOT), head)
    git("checkout", "-q", "-f", "--detach", head)
    git("checkout", "-q", "--", ".")
    git("reset", "-q", "--hard", head)
    git("clean", "-q", "-fd")  # untracked but not ignored: a copied test, a stray file
    if worktree_tests:
        for src in (ROOT / "tests").glob("*.py"):
            shutil.copy2(src, CLONE / "tests" / src.name)
    return head


def check_table(base: Path) -> list[str]:
    problems = []
    names = set()
    for m in MUTANTS:
        if m.name in names:
            problems.append(f"{m.name}: named twice")
        names.add(m.name)
        path = base / m.file
        if not path.exists():
            problems.append(f"{m.name}: no file {m.file}")
            continue
        found = path.read_text().count(m.original)
        if found != 1:
            problems.append(f"{m.name}: the original text occurs {found} times in {m.file}")
        if m.original == m.replacement:
            problems.append(f"{m.name}: the replacement is the original")
    return problems


def build(venv: Path, jobs: int) -> tuple[bool, str]:
    if not (BUILD / "build.ninja").exists():
        run([venv / "bin" / "cmake", "-S", CLONE, "-B", BUILD, "-G", "Ninja",
             "-DCMAKE_BUILD_TYPE=RelWithDebInfo", f"-DPython_EXECUTABLE={venv / 'bin' / 'python'}",
             f"-DCMAKE_MAKE_PROGRAM={venv / 'bin' / 'ninja'}"],
            stdout=subprocess.DEVNULL)
    status, out = run_group([str(venv / "bin" / "cmake"), "--build", str(BUILD), "--", f"-j{jobs}"],
                            cwd=CLONE, env=None, timeout=None)
    return status == 0, out


def test_env() -> dict[str, str]:
    env = dict(os.environ)
    env.pop("TARMELIX_SLOW_PATHS", None)
    env["PYTHONPATH"] = str(CLONE / "python")
    env["HYPOTHESIS_STORAGE_DIRECTORY"] = str(CACHE / "hypothesis")
    env["PYTHONDONTWRITEBYTECODE"] = "1"
    return env


def check_import(venv: Path) -> None:
    where = subprocess.run(
        [venv / "bin" / "python", "-c", "import tarmelix._tarmelix as m; print(m.__file__)"],
        cwd=CLONE, env=test_env(), capture_output=True, text=True)
    path = Path(where.stdout.strip()).resolve() if where.returncode == 0 else None
    if not path or not path.is_relative_to(CLONE / "python" / "tarmelix"):
        die(f"tarmelix is not imported from the mutant build: {where.stdout}{where.stderr}")


def test_files(first: tuple[str, ...]) -> list[str]:
    present = sorted(p.name for p in (CLONE / "tests").glob("test_*.py"))
    ordered = [f for f in (*first, *FIRST_TESTS) if f in present]
    ordered = list(dict.fromkeys(ordered))
    return [f"tests/{f}" for f in ordered + [f for f in present if f not in ordered]]


def run_group(cmd: list[str], cwd: Path, env, timeout) -> tuple[int | None, str]:
    """(exit status, output), the status None after `timeout` seconds. The command
    runs in a session of its own, so a hung test and the interpreters it started, or
    a build's compilers, all end with it."""
    proc = subprocess.Popen(cmd, cwd=cwd, env=env, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, text=True, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
    except BaseException as e:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        if isinstance(e, subprocess.TimeoutExpired):
            return None, out
        raise
    return proc.returncode, out


def run_tests(venv: Path, first: tuple[str, ...], timeout: float) -> tuple[bool, str]:
    """(passed, what failed first)."""
    cmd = [str(venv / "bin" / "python"), "-m", "pytest", "-x", "-q", "-p", "no:cacheprovider",
           *test_files(first)]
    status, out = run_group(cmd, CLONE, test_env(), timeout)
    if status is None:
        return False, f"timed out after {timeout:.0f}s"
    if status == 0:
        return True, ""
    failed = re.search(r"^(?:FAILED|ERROR) (\S+)", out, re.M)
    if failed:
        return False, failed.group(1)
    if status < 0:
        crashed = re.findall(r'File "[^"]*/(tests/test_\w+\.py)", line \d+ in (test_\w+)', out)
        where = f" in {crashed[-1][0]}::{crashed[-1][1]}" if crashed else ""
        return False, f"crashed (signal {-status}){where}"
    return False, f"pytest exit status {status}: " + " ".join(out.strip().splitlines()[-2:])


class Applied:
    """One mutant in the clone's file, restored however the block ends."""

    def __init__(self, mutant: Mutant):
        self.path = CLONE / mutant.file
        self.mutant = mutant
        self.text = None

    def __enter__(self):
        self.text = self.path.read_text()
        if self.text.count(self.mutant.original) != 1:
            die(f"{self.mutant.name}: stale entry, the original text is not once in {self.mutant.file}")
        self.path.write_text(self.text.replace(self.mutant.original, self.mutant.replacement))
        return self

    def __exit__(self, *exc):
        self.path.write_text(self.text)
        return False


def interrupted(signum, frame):
    raise KeyboardInterrupt


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", nargs="+", metavar="NAME", help="run these mutants only")
    parser.add_argument("--list", action="store_true", help="print the table and check it")
    parser.add_argument("--jobs", type=int, default=1, help="ninja's -j (default 1)")
    parser.add_argument("--worktree-tests", action="store_true",
                        help="copy the checkout's tests/*.py over the clone's")
    parser.add_argument("--timeout", type=float, default=0,
                        help="seconds a mutant's tests may take (default: 4 times the baseline)")
    args = parser.parse_args()

    if args.list:
        problems = check_table(ROOT)
        for m in MUTANTS:
            tag = " (equivalent)" if m.equivalent else ""
            say(f"{m.name:30} {m.file:30} {m.mistake}{tag}")
        for p in problems:
            print(f"error: {p}", file=sys.stderr)
        say(f"{len(MUTANTS)} mutants")
        return 2 if problems else 0

    chosen = MUTANTS
    if args.only:
        known = {m.name: m for m in MUTANTS}
        unknown = [n for n in args.only if n not in known]
        if unknown:
            die(f"no mutant named {', '.join(unknown)} (see --list)")
        chosen = [known[n] for n in args.only]

    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGINT, interrupted)
    venv = find_venv()
    head = reset_clone(args.worktree_tests)
    problems = check_table(CLONE)
    if problems:
        die("stale table at HEAD:\n  " + "\n  ".join(problems))
    say(f"==> {len(chosen)} mutants of {head[:12]}, venv {venv.name}, build in {BUILD}")

    started = time.monotonic()
    ok, log = build(venv, args.jobs)
    if not ok:
        print(log[-5000:])
        die("the unmutated tree does not build")
    check_import(venv)
    t0 = time.monotonic()
    passed, failure = run_tests(venv, (), timeout=3600)
    baseline = time.monotonic() - t0
    if not passed:
        die(f"the unmutated tree fails its tests: {failure}")
    say(f"==> baseline built and passed ({baseline:.0f}s of tests)")
    timeout = args.timeout or max(4 * baseline, 120)

    results = []
    try:
        for m in chosen:
            t0 = time.monotonic()
            with Applied(m):
                ok, log = build(venv, args.jobs)
                if ok:
                    passed, failure = run_tests(venv, m.first, timeout)
            took = time.monotonic() - t0
            if not ok:
                status, note = "unbuilt", (re.findall(r"error: .*", log) or ["build failed"])[0]
            elif passed:
                status, note = "survived", "equivalent: " + m.equivalent if m.equivalent else m.mistake
            else:
                status, note = "killed", failure
            results.append((m, status))
            say(f"{status:8} {m.name:30} {took:5.0f}s  {note}")
    except KeyboardInterrupt:
        say("interrupted: the mutated file is restored")
        return 130

    killed = sum(s == "killed" for _, s in results)
    expected = [m.name for m, s in results if s == "survived" and m.equivalent]
    lost = [m.name for m, s in results if s == "survived" and not m.equivalent]
    unbuilt = [m.name for m, s in results if s == "unbuilt"]
    dead_equivalent = [m.name for m, s in results if s == "killed" and m.equivalent]
    say(f"==> {len(results)} mutants in {(time.monotonic() - started) / 60:.1f} min: "
        f"{killed} killed, {len(expected)} equivalent survived, {len(lost)} survived")
    if lost:
        say("survived: " + " ".join(lost))
    if unbuilt:
        say("did not build: " + " ".join(unbuilt))
    if dead_equivalent:
        say("marked equivalent but killed: " + " ".join(dead_equivalent))
    return 1 if lost or unbuilt else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        print("interrupted", file=sys.stderr)
        sys.exit(130)
