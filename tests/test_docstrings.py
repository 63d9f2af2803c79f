import inspect
import re

import pytest

from tarmelix import _tarmelix as m

V = m.Validator

SIGNATURES = [
    (V.validate, "($self, obj, *, fail_fast=False)"),
    (V.is_valid, "($self, obj)"),
    (V.ensure, "($self, obj)"),
    (V.validate_json, "($self, data, *, fail_fast=False)"),
    (V.load, "($self, data, *, fail_fast=False)"),
    (V.is_valid_json, "($self, data)"),
    (V.is_empty, "($self)"),
    (V.is_subtype_of, "($self, other)"),
    (V.is_equivalent, "($self, other)"),
    (V.__copy__, "($self)"),
    (V.__deepcopy__, "($self, _memo)"),
    (V.open, "($self)"),
    (V.close, "($self)"),
    (V.simplify, "($self)"),
    (V, "(schema)"),
    (m.union, "(*schemas)"),
    (m.intersection, "(*schemas)"),
    (m.complement, "(schema)"),
    (m.recursive, "(builder)"),
]

SUMMARIES = [
    (V.validate, "Validate `obj`, raising `ValidationError` if it is not a member of the schema's set."),
    (V.is_valid, "Whether `obj` is a member of the schema's set."),
    (V.ensure, "Validate `obj` and return it unchanged."),
    (V.validate_json, "Validate a JSON document, parsing it"),
    (V.load, "Validate a JSON document and return the parsed value."),
    (V.is_valid_json, "Whether a JSON document parses and is a member of the schema's set."),
    (V.is_empty, "Whether the schema is unsatisfiable \u2014 provably empty"),
    (V.is_subtype_of, "Whether every value of this schema is also a value of `other`"),
    (V.is_equivalent, "Whether this schema and `other` denote the same set \u2014 mutual inclusion."),
    (V.__copy__, "Return an equivalent validator."),
    (V.__deepcopy__, "Deep-copy to an equivalent validator."),
    (V.open, "Open every record in the schema"),
    (V.close, "Close every record in the schema"),
    (V.simplify, "An equivalent validator reduced by the lattice laws."),
    (V, "A compiled, immutable schema validator."),
    (m.union, "The union of the given schemas: a value in at least one of their sets."),
    (m.intersection, "The intersection of the given schemas: a value in every one of their sets."),
    (m.complement, "The complement of a schema: every value not in its set."),
    (m.recursive, "Build a recursive schema as a checked fixpoint."),
    (m, "The `tarmelix._tarmelix` extension module."),
    (m.ValidationError, "Raised when a value is not a member of a schema's set."),
]


def flat(text):
    return re.sub(r"\s+", " ", text)


@pytest.mark.parametrize("obj, signature", SIGNATURES)
def test_text_signatures(obj, signature):
    assert obj.__text_signature__ == signature


@pytest.mark.parametrize("obj, summary", SUMMARIES)
def test_docs_begin_with_their_summary(obj, summary):
    assert flat(obj.__doc__).startswith(summary)


def test_inspect_reads_the_signatures():
    params = inspect.signature(V.validate).parameters
    assert list(params) == ["self", "obj", "fail_fast"]
    assert params["fail_fast"].kind is inspect.Parameter.KEYWORD_ONLY
    assert params["fail_fast"].default is False
    assert str(inspect.signature(m.anything.validate)) == "(obj, *, fail_fast=False)"
    assert str(inspect.signature(V)) == "(schema)"
    assert str(inspect.signature(m.union)) == "(*schemas)"


@pytest.mark.parametrize(
    "obj, passage",
    [
        (m, "`gil_used = false` declares the module free-threading-ready, so a free-threaded interpreter keeps the global interpreter lock disabled on import instead of re-enabling it."),
        (m, "whose initialization the standard library serializes. The validation walk keeps its recursion guard in a per-call local, so no two threads share mutable walk state."),
        (V, "Validation is a membership test against the set the schema denotes: the value is never copied or coerced. A validator never changes after it is built and is safe to share across threads. Its `repr` is the annotation that produces it, and it can be copied with `copy.copy`/`copy.deepcopy`."),
        (V.validate, "Args: obj: The object to check. fail_fast: Stop at the first failure instead of aggregating every independent failure into the error. Returns: `None` if `obj` is a member of the schema's set. Raises: ValidationError: If `obj` is not a member; its `errors` lists each failure with a code and a path."),
        (V.is_valid, "Raises: BaseException: If a membership comparison raises a fatal interpreter signal, it propagates rather than being read as a non-member."),
        (V.validate_json, "and the parsed value runs the same validation walk as a native object, so this reaches the same decision and the same errors as `validate` on the parsed object. `fail_fast` behaves as it does for `validate`."),
        (V.validate_json, "Raises: ValidationError: If the document is malformed or undecodable JSON (code `json_invalid`) or is not a member of the schema's set. TypeError: If `data` is not `str` or `bytes`."),
        (V.load, "Returns: The parsed Python object, once it is confirmed a member of the set. Raises: ValidationError: If the document is malformed"),
        (V.is_valid_json, "Returns: `True` if `data` parses and is a member of the schema's set, else `False`."),
        (V.is_empty, 'a `False` can mean "not proven empty within the bound" rather than "non-empty"; a real schema decides far inside the bound.'),
        (V.is_subtype_of, "Nothing is inferred from a predicate refinement, but one may be **called**:"),
        (V.is_equivalent, 'a `False` can mean "not proven equivalent within the bound". Mutual inclusion, so it calls back into Python wherever `is_subtype_of` does.'),
        (V.open, "Raises: ValueError: If admitting undeclared keys expands the schema past the size bound; opening a record adds a catch-all clause, so a validator near the limit can cross it."),
        (V.simplify, "Returns: A validator denoting the same set in negation-normal form."),
        (m.complement, "that value folds to a non-member of the inner, and therefore a **member** of the complement."),
        (m.recursive, "and a non-contractive body \u2014 one whose recursive reference is not under a structural constructor \u2014 is rejected."),
    ],
)
def test_doc_passages(obj, passage):
    assert passage in flat(obj.__doc__)


DOCUMENTED = [obj for obj, _ in SIGNATURES] + [m]


@pytest.mark.parametrize("obj", DOCUMENTED)
def test_doc_lines_fit_the_width(obj):
    assert all(len(line) <= 77 for line in obj.__doc__.splitlines())
