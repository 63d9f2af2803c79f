"""The fuzz targets. Each takes (rng, case) and raises Fail on a wrong answer
or an exception no entry point may raise; case.note() records the input first,
so that a crash or a hang can still be reported with it."""

import copy
import dataclasses
import gc
import json
import math
import os
import re
import sys
import threading
import time
import tracemalloc
import typing
from typing import Annotated, Any, Literal

import tarmelix as t

import gen
import hostile
from known import KNOWN
from stack_sizes import stack_sizes

V = t.Validator
SANITIZED = bool(os.environ.get("TARMELIX_SANITIZED"))
SLACK = 5 if SANITIZED else 1

PANICS = {
    "dictionary changed size during iteration",
    "dictionary keys changed during iteration",
    "set iteration should be infallible",
    "frozenset iteration should be infallible",
}


class Fail(Exception):
    pass


def is_panic(e):
    return type(e).__name__ == "PanicException"


def call(fn, *args, **kwargs):
    """(kind, payload): "ok" with the result, "invalid" with the ValidationError, "raise" with any other exception."""
    try:
        return "ok", fn(*args, **kwargs)
    except t.ValidationError as e:
        return "invalid", e
    except BaseException as e:  # noqa: B036 - fatal exceptions are under test too
        return "raise", e


def expect(outcome, allowed, what):
    """Fails unless the outcome is an answer, a ValidationError or an allowed exception; returns it."""
    kind, payload = outcome
    if kind != "raise":
        return outcome
    if type(payload) in allowed:
        return outcome
    if is_panic(payload) and "panic" in allowed and str(payload).split(":")[0] in PANICS:
        return outcome
    if isinstance(payload, RecursionError) and RecursionError in allowed:
        return outcome
    raise Fail("%s raised %s: %s" % (what, type(payload).__name__, str(payload)[:300]))


def check_error(e, what):
    """A ValidationError must render and carry consistent attributes."""
    errors = e.errors
    if not errors or not isinstance(errors, tuple):
        raise Fail("%s: ValidationError without errors" % what)
    first = errors[0]
    for key in ("code", "path", "message", "expected", "value"):
        if key not in first:
            raise Fail("%s: error record lacks %r" % (what, key))
    if (e.code, e.path, e.expected, e.value) != (first["code"], first["path"], first["expected"], first["value"]):
        raise Fail("%s: ValidationError attributes disagree with errors[0]" % what)
    str(e)
    return errors


def strict_equal(a, b):
    """Equality that tells 1 from 1.0 and True from 1."""
    if type(a) is not type(b):
        return False
    if isinstance(a, list):
        return len(a) == len(b) and all(strict_equal(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return list(a) == list(b) and all(strict_equal(a[k], b[k]) for k in a)
    if isinstance(a, float):
        return a == b and math.copysign(1, a) == math.copysign(1, b) or (a != a and b != b)
    return a == b


def membership(v, value, allowed=frozenset()):
    """is_valid, in, validate (both modes) and ensure must agree; returns the verdict or None when an allowed exception ended it."""
    outcomes = {
        "is_valid": expect(call(v.is_valid, value), allowed, "is_valid"),
        "in": expect(call(lambda: value in v), allowed, "in"),
        "validate": expect(call(v.validate, value), allowed, "validate"),
        "fail_fast": expect(call(v.validate, value, fail_fast=True), allowed, "validate(fail_fast=True)"),
        "ensure": expect(call(v.ensure, value), allowed, "ensure"),
    }
    if any(kind == "raise" for kind, _ in outcomes.values()):
        return None
    verdict = outcomes["is_valid"][1]
    if verdict is not True and verdict is not False:
        raise Fail("is_valid answered %r" % (verdict,))
    seen = {
        "is_valid": verdict,
        "in": outcomes["in"][1],
        "validate": outcomes["validate"][0] == "ok",
        "fail_fast": outcomes["fail_fast"][0] == "ok",
        "ensure": outcomes["ensure"][0] == "ok",
    }
    if len(set(seen.values())) != 1:
        raise Fail("entry points disagree: %r" % seen)
    if outcomes["ensure"][0] == "ok" and outcomes["ensure"][1] is not value:
        raise Fail("ensure returned another object")
    if not verdict:
        full = check_error(outcomes["validate"][1], "validate")
        fast = check_error(outcomes["fail_fast"][1], "validate(fail_fast=True)")
        if fast[0] not in full and len(fast) == 1:
            raise Fail("fail_fast error %r is not among the full errors" % (fast[0],))
    return verdict


def leak_check(case, again, rounds=200, watch=()):
    """Runs again() over and over; memory that still grows by more than half
    a small object per round after the interpreter's free lists (up to a few
    thousand objects) have filled is a leaked new object, and a reference
    count of a watched object that grows with the rounds a leaked reference."""
    for _ in range(2 * rounds):
        again()
    gc.collect()
    watch = [x for x in watch for x in ([x] + (list(x) if type(x) in (list, tuple) else []))]
    counts = [sys.getrefcount(x) for x in watch]
    for _ in range(rounds):
        again()
    gc.collect()
    for x, before in zip(watch, counts):
        if sys.getrefcount(x) >= before + rounds // 2:
            raise Fail("the reference count of %s grows by %d in %d rounds" % (preview(x, 200), sys.getrefcount(x) - before, rounds))
    tracemalloc.start()
    try:
        marks = [tracemalloc.get_traced_memory()[0]]
        for interval in range(40):
            for _ in range(rounds):
                again()
            gc.collect()
            marks.append(tracemalloc.get_traced_memory()[0])
            tail = marks[-6:]
            growth = [b - a for a, b in zip(tail, tail[1:])]
            if interval >= 2 and min(growth) < 8 * rounds:
                return  # flat, or a cache that has filled
    finally:
        tracemalloc.stop()
    raise Fail("memory grows by %s bytes per %d rounds: a leaked reference" % (growth, rounds))


# ---- random specs and values ------------------------------------------------

def target_values(rng, case):
    g = gen.schema(rng)
    values = gen.samples(rng, [g])
    case.note("spec %s; values %s" % (g.src, preview(values)))
    v = g.validator
    verdicts = [membership(v, x) for x in values]
    copies = [copy.copy(v), copy.deepcopy(v), V(v), V(g.spec)]
    for c in copies:
        if not (c == v and hash(c) == hash(v) and repr(c) == repr(v)):
            raise Fail("copy or rebuild of %r differs: %r" % (v, c))
    wrapped = V([v]), V({"k": v}), t.union(t.nothing, v)
    for x, verdict in zip(values, verdicts):
        for c in copies:
            if c.is_valid(x) != verdict:
                raise Fail("copy disagrees on %s" % preview(x))
        if wrapped[0].is_valid([x]) != verdict or wrapped[1].is_valid({"k": x}) != verdict or wrapped[2].is_valid(x) != verdict:
            raise Fail("embedded validator disagrees on %s" % preview(x))
    if rng.random() < 0.05:
        leak_check(case, lambda: [v.is_valid(x) or call(v.validate, x) for x in values] + [repr(v), hash(v), v == copies[1]], watch=values)


# ---- JSON on all three roads ------------------------------------------------

def plain_json(ref, depth=0):
    """Whether json.loads's value is one both parsers must read alike: no NaN or infinity, no lone surrogate, nesting within 200."""
    if isinstance(ref, (list, dict)) and depth >= 200:
        return False  # the 201st level of arrays and objects
    if isinstance(ref, float):
        return math.isfinite(ref)
    if isinstance(ref, str):
        return not re.search("[\ud800-\udfff]", ref)
    if isinstance(ref, list):
        return all(plain_json(x, depth + 1) for x in ref)
    if isinstance(ref, dict):
        return all(plain_json(k, depth + 1) and plain_json(x, depth + 1) for k, x in ref.items())
    return True


HUGE_EXPONENT = re.compile(rb"(-?[0-9]+(?:\.[0-9]+)?)[eE]([-+]?)([0-9]{10,})")
LONG_INTEGER = re.compile(rb"(?<![0-9.eE+-])-?([0-9]+)(?![0-9.eE])")


def known_json(data, message):
    """The known JSON number faults, matched by the document itself."""
    raw = data if isinstance(data, bytes) else data.encode("utf-8", "surrogatepass")
    if "exponent" in KNOWN:
        for mantissa, sign, _ in HUGE_EXPONENT.findall(raw):
            if sign == b"-" or float(mantissa) == 0:
                return True
    if "digits" in KNOWN:
        limit = sys.get_int_max_str_digits()
        if limit and any(len(d) > limit for d in LONG_INTEGER.findall(raw)):
            return True
    return False


def json_roads(v, data, allowed=frozenset()):
    """is_valid_json, validate_json and load must agree; returns (verdict, loaded value or error)."""
    a = expect(call(v.is_valid_json, data), allowed, "is_valid_json")
    b = expect(call(v.validate_json, data), allowed, "validate_json")
    c = expect(call(v.load, data), allowed, "load")
    if "raise" in (a[0], b[0], c[0]):
        return None, None
    if a[1] is not True and a[1] is not False:
        raise Fail("is_valid_json answered %r" % (a[1],))
    seen = (a[1], b[0] == "ok", c[0] == "ok")
    if len(set(seen)) != 1:
        raise Fail("JSON roads disagree: is_valid_json %r, validate_json %r, load %r" % (a[1], describe(b), describe(c)))
    if b[0] == "ok":
        if b[1] is not None:
            raise Fail("validate_json returned %r" % (b[1],))
        return True, c[1]
    eb, ec = check_error(b[1], "validate_json"), check_error(c[1], "load")
    if eb != ec:
        raise Fail("validate_json and load report different errors: %r / %r" % (eb, ec))
    return False, b[1]


def describe(outcome):
    kind, payload = outcome
    if kind == "invalid":
        return "ValidationError(%s)" % payload.errors[0]["message"][:200]
    return "%s(%s)" % (kind, preview(payload))


def target_json(rng, case):
    g = gen.schema(rng, json_only=rng.random() < 0.8)
    v = g.validator
    docs = [gen.json_document(rng, g, case.seeds) for _ in range(6)]
    for data in docs:
        case.note("spec %s; document %r" % (g.src, data[:3000]))
        check_document(v, data)
    if rng.random() < 0.05:
        leak_check(case, lambda: [(v.is_valid_json(d), call(v.load, d), call(v.validate_json, d)) for d in docs])


def check_document(v, data):
    verdict, got = json_roads(v, data, {ValueError} if known_json(data, "") else set())
    if verdict is None:
        return
    try:
        text = data.decode("utf-8") if isinstance(data, bytes) else data
        # Every literal is seen here, also those of a key that a later
        # duplicate overwrites in the value.
        infinite = []
        ref = json.loads(text, parse_float=lambda s: infinite.append(s) if math.isinf(float(s)) else float(s))
    except (UnicodeDecodeError, RecursionError):
        return  # the roads agreed among themselves; json.loads has no say
    except json.JSONDecodeError:
        if verdict or got.errors[0]["code"] != "json_invalid":
            raise Fail("json.loads refuses the document, the roads %s" % ("accept it" if verdict else "report " + got.errors[0]["code"]))
        return
    except ValueError:
        # json.loads's own digit limit
        if known_json(data, ""):
            return
        if verdict or got.errors[0]["code"] != "json_invalid":
            raise Fail("an integer past the digit limit is %s" % ("accepted" if verdict else got.errors[0]["code"]))
        return
    if infinite or not plain_json(ref):
        return  # NaN, infinity, lone surrogates and deep nesting are refused by design
    if not verdict and got.errors[0]["code"] == "json_invalid":
        if known_json(data, got.errors[0]["value"]):
            return
        raise Fail("the roads refuse a document json.loads reads: %s" % got.errors[0]["message"][:300])
    expected = v.is_valid(ref)
    if verdict != expected:
        raise Fail("JSON verdict %r but is_valid(json.loads(doc)) is %r" % (verdict, expected))
    if verdict and not strict_equal(got, ref):
        raise Fail("load gives %s, json.loads %s" % (preview(got), preview(ref)))
    if not verdict:
        kind, e = call(v.validate, ref)
        if kind != "invalid" or e.errors != got.errors:
            raise Fail("validate_json errors differ from validate(json.loads(doc)): %r / %r" % (got.errors, e.errors if kind == "invalid" else e))


# ---- hostile user code --------------------------------------------------------

def target_hostile(rng, case):
    desc, spec, value, allowed = hostile.build(rng)
    case.note("hostile: " + desc)
    built = call(V, spec)
    expect(built, allowed | {NotImplementedError, ValueError}, "Validator()")
    if built[0] != "ok":
        return
    v = built[1]
    for what, fn in (("repr", repr), ("hash", hash), ("==", lambda v: v == copy.deepcopy(v)), ("simplify", lambda v: v.simplify())):
        expect(call(fn, v), allowed, what)
    deep = "deep" in allowed
    if deep and "deep_validate" in KNOWN:
        for what, fn in (("is_valid", v.is_valid), ("in", lambda x: x in v)):
            kind, got = expect(call(fn, value), allowed, what)
            if kind == "ok" and got not in (True, False):
                raise Fail("%s answered %r" % (what, got))
    else:
        started = time.perf_counter()
        expect(call(v.is_valid, value), allowed, "is_valid")
        quick = time.perf_counter() - started
        started = time.perf_counter()
        membership(v, value, allowed)
        slow = time.perf_counter() - started
        if deep and slow > 5 * (100 * quick + 0.3) * SLACK:
            raise Fail("validate of a deep value takes %.2fs against %.4fs for is_valid" % (slow, quick))
    for other in (int, list[Any], t.anything, spec):
        for what, fn in (("is_subtype_of", v.is_subtype_of), ("is_equivalent", v.is_equivalent)):
            got = expect(call(fn, other), set(), what)
            if got[1] not in (True, False):
                raise Fail("%s answered %r" % (what, got[1]))
    got = expect(call(v.is_empty), set(), "is_empty")
    if got[1] not in (True, False):
        raise Fail("is_empty answered %r" % (got[1],))
    if not allowed & {"deep", "panic", RecursionError} and rng.random() < 0.1:
        leak_check(case, lambda: (call(v.is_valid, value), call(v.validate, value), call(repr, v)), rounds=100, watch=[value])


# ---- threads sharing one validator ----------------------------------------------

def target_threads(rng, case):
    g = gen.schema(rng)
    values = gen.samples(rng, [g], count=4)
    docs = [gen.json_document(rng, g, case.seeds) for _ in range(4)]
    case.note("threads: spec %s; values %s; documents %r" % (g.src, preview(values), docs))
    ref = g.validator
    want = [ref.is_valid(x) for x in values]
    want_json = [ref.is_valid_json(d) for d in docs]
    shared = V(g.spec)  # fresh: its walk plan is built by the racing threads
    errors = []
    barrier = threading.Barrier(16)

    def work(i):
        try:
            barrier.wait()
            for _ in range(3):
                for x, w in zip(values, want):
                    if shared.is_valid(x) != w or (shared.validate(x) if w else call(shared.validate, x)[0] != "invalid"):
                        errors.append("thread %d: answer on %s" % (i, preview(x)))
                for d, w in zip(docs, want_json):
                    if shared.is_valid_json(d) != w:
                        errors.append("thread %d: is_valid_json answer on %r" % (i, d))
                if i % 4 == 0:
                    repr(shared), hash(shared), shared.is_subtype_of(g.spec), shared.simplify()
        except BaseException as e:  # noqa: B036
            errors.append("thread %d raised %s: %s" % (i, type(e).__name__, e))

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)
    try:
        threads = [threading.Thread(target=work, args=(i,)) for i in range(16)]
        for th in threads:
            th.start()
        for th in threads:
            th.join()
    finally:
        sys.setswitchinterval(interval)
    if errors:
        raise Fail("; ".join(errors[:3]))


# ---- small thread stacks --------------------------------------------------------

STACK_SIZES = [32 << 10, 64 << 10, 128 << 10, 256 << 10, 512 << 10]


def deep_spec(rng):
    n = rng.choice([8, 30, 62, 100, 120])
    shape = rng.randrange(3)
    if shape == 0:
        def body(s):
            x = s
            for _ in range(n):
                x = list[x]
            return t.union(int, x)
        return "t.recursive(lambda s: t.union(int, list[...%d levels...[s]]))" % n, lambda: t.recursive(body), n
    if shape == 1:
        def nested():
            x = int
            for _ in range(n):
                x = {"a": x}
            return x
        return "dict literal nested %d deep" % n, nested, n
    def listed():
        x = int
        for _ in range(n // 2):
            x = list[x] | None
        return x
    return "(list[...] | None) nested %d deep" % n, listed, n


def deep_value(n, extra):
    x = 1
    for _ in range(n + extra):
        x = [x]
    return x


def target_stack(rng, case):
    src, make, n = deep_spec(rng)
    # A size this interpreter refuses is raised to its smallest.
    size = stack_sizes([rng.choice(STACK_SIZES)])[0]
    try:
        built = make()
        v = built if isinstance(built, V) else V(built)
    except (ValueError, NotImplementedError):
        return  # past the nesting limits
    extra = rng.choice([0, 1, 50, 2000])
    value = deep_value(n, extra)
    text = json.dumps(value) if n + extra < 190 else None
    case.note("stack of %d KiB: %s; value nested %d deep" % (size >> 10, src, n + extra))
    try:
        want = v.is_valid(value)
    except RecursionError:  # the sanitizers' frames are large even on the main stack
        want = RecursionError
    ops = [("is_valid", lambda: v.is_valid(value)), ("in", lambda: value in v), ("validate", lambda: call(v.validate, value))]
    # The JSON parser recurses per nesting level below any check of ours (a known stack fault).
    if text is not None and ("stack" not in KNOWN or size >= 256 << 10):
        ops.append(("is_valid_json", lambda: v.is_valid_json(text)))
    if "stack" not in KNOWN:
        other = V(make())
        ops += [
            ("build", lambda: V(make())), ("repr", lambda: repr(v)), ("==", lambda: v == other), ("hash", lambda: hash(v)),
            ("copy", lambda: copy.deepcopy(v)), ("simplify", v.simplify), ("open", v.open), ("close", v.close),
            ("is_empty", v.is_empty), ("is_subtype_of", lambda: v.is_subtype_of(other)),
            ("is_equivalent", lambda: v.is_equivalent(other)),
        ]
        if text is not None:
            ops += [("load", lambda: call(v.load, text)), ("validate_json", lambda: call(v.validate_json, text))]
    results = []

    def run():
        for name, op in ops:
            try:
                got = op()
            except RecursionError:
                got = RecursionError
            except NotImplementedError as e:
                got = e if name == "build" else Fail("%s raised NotImplementedError" % name)
            except BaseException as e:  # noqa: B036
                got = Fail("%s raised %s: %s" % (name, type(e).__name__, e))
            results.append((name, got))

    # The interpreter's own deallocation of a deep list recurses without a
    # check: earlier cases' garbage is collected here, not on the small stack.
    gc.collect()
    gc.disable()
    previous = threading.stack_size(size)
    try:
        th = threading.Thread(target=run)
        th.start()
        th.join()
    finally:
        threading.stack_size(previous)
        gc.enable()
    for name, got in results:
        if isinstance(got, Fail):
            raise got
        if name in ("is_valid", "in", "is_valid_json") and got not in (want, RecursionError):
            raise Fail("%s answered %r on a small stack, %r on the main one" % (name, got, want))


# ---- decisions and rewrites -------------------------------------------------------

def related(rng):
    a, b = gen.schema(rng), gen.schema(rng)
    r = rng.randrange(6)
    if r == 1:
        b = gen.merge("t.union(%s, %s)" % (a, b), t.union(a.spec, b.spec), lambda q: (a if q.random() < 0.5 else b).sample(q), [a, b])
    elif r == 2:
        a = gen.merge("t.intersection(%s, %s)" % (a, b), t.intersection(a.spec, b.spec), a.sample, [a, b])
    elif r == 3:
        b = gen.merge("V(%s).open()" % a, V(a.spec).open(), a.sample, [a])
    elif r == 4:
        b = gen.merge("V(%s).simplify()" % a, V(a.spec).simplify(), a.sample, [a])
    elif r == 5:
        b = gen.merge("t.complement(t.complement(%s))" % a, t.complement(t.complement(a.spec)), a.sample, [a])
    for g in (a, b):
        g.validator = V(g.spec)
    return a, b


def target_decisions(rng, case):
    a, b = related(rng)
    values = gen.samples(rng, [a, b])
    case.note("decisions: A = %s; B = %s; values %s" % (a.src, b.src, preview(values)))
    va, vb = a.validator, b.validator
    sound = not ((a.structural or b.structural) and "structural" in KNOWN)
    sub, equiv, empty = va.is_subtype_of(vb), va.is_equivalent(b.spec), va.is_empty()
    for got in (sub, equiv, empty):
        if got is not True and got is not False:
            raise Fail("a decision answered %r" % (got,))
    if not sound:
        return
    for x in values:
        in_a, in_b = va.is_valid(x), vb.is_valid(x)
        if empty and in_a:
            raise Fail("A is proven empty but admits %s" % preview(x))
        if sub and in_a and not in_b:
            raise Fail("A is proven a subtype of B but %s is in A and not in B" % preview(x))
        if equiv and in_a != in_b:
            raise Fail("A is proven equivalent to B but they differ on %s" % preview(x))
    if rng.random() < 0.1 and "literal_pattern" not in KNOWN:
        words = ["w%dx%d" % (i, rng.randrange(1000)) for i in range(5000)]
        started = time.perf_counter()
        V(Literal[tuple(words)]).is_subtype_of(Annotated[str, gen.Meta(pattern="[a-z]{1,300}[0-9]{1,300}x[0-9]*")])
        spent = time.perf_counter() - started
        if spent > 1.5 * SLACK:
            raise Fail("5000-literal inclusion in a pattern took %.2fs" % spent)


def dict_free(x, depth=0):
    if depth > 50:
        return False
    if isinstance(x, (list, tuple, set, frozenset)):
        return type(x) in (list, tuple, set, frozenset) and all(dict_free(y, depth + 1) for y in x)
    if dataclasses.is_dataclass(x):
        return all(dict_free(getattr(x, f.name), depth + 1) for f in dataclasses.fields(x))
    return not isinstance(x, dict)


def target_rewrites(rng, case):
    g = gen.schema(rng)
    values = gen.samples(rng, [g])
    case.note("rewrites: spec %s; values %s" % (g.src, preview(values)))
    v = g.validator
    simple, opened, closed = v.simplify(), v.open(), v.close()
    if not (opened.open() == opened and closed.close() == closed and opened.close() == closed and closed.open() == opened):
        raise Fail("open and close are not projections: %r / %r" % (opened, closed))
    for x in values:
        inside = v.is_valid(x)
        if simple.is_valid(x) != inside:
            raise Fail("simplify changes membership of %s: %r -> %r" % (preview(x), v, simple))
        in_open, in_closed = opened.is_valid(x), closed.is_valid(x)
        if dict_free(x) and not (in_open == inside == in_closed):
            raise Fail("open/close change membership of the dict-free %s" % preview(x))
        if not g.negated and ((in_closed and not inside) or (inside and not in_open)):
            raise Fail("without complements close(v) <= v <= open(v) fails on %s" % preview(x))


# ---- got texts of built-in values --------------------------------------------------

BUILTIN = (list, tuple, dict, set, frozenset, str, bytes)


def shown_text(text, cut=True):
    """A repr as a got text shows it: each lone surrogate as three U+FFFD, cut to 80 characters."""
    text = text.encode("utf-8", "surrogatepass").decode("utf-8", "replace")
    return text if not cut or len(text) <= 80 else text[:80] + "..."


def check_got_text(v, value, what):
    """The got text of `value` is its repr cut to 80 characters, or
    "<unrepresentable>" when an element whose repr raises starts within them;
    only elements that start within them are repr'd (a subclass instance is
    repr'd by its own code, all of it)."""
    parts = [(x, held) for x, held in gen.value_parts(value) if type(x) is gen.Probe]
    probes = [x for x, _ in parts]
    for p in probes:
        p.called = False
    gen.Probe.armed = True
    try:
        kind, e = call(v.validate, value)
    finally:
        gen.Probe.armed = False
    if kind != "invalid":
        raise Fail("%s: validate gave %s %r" % (what, kind, e))
    text = e.errors[0]["value"]
    called = [p for p in probes if p.called]
    full = shown_text(repr(value), cut=False)
    start = {id(p): full.find(p.marker) for p in probes}
    raised = any(p.raises and 0 <= start[id(p)] <= 80 for p in probes)
    want = "<unrepresentable>" if raised else shown_text(full)
    if text != want:
        raise Fail("%s: got text %r, repr cut to 80 characters %r" % (what, text, want))
    own = {id(p) for p, held in parts if held}
    late = [start[id(p)] for p in called if not 0 <= start[id(p)] <= 80 and id(p) not in own]
    if type(value) in BUILTIN and late:
        raise Fail("%s: the repr of elements at characters %s was asked for" % (what, late))


def target_got_texts(rng, case):
    value = gen.builtin_value(rng)
    if rng.random() < 0.3:
        value = gen.tie_cycle(rng, value)
    if rng.random() < 0.1:
        value = gen.deep_chain(rng, value)
    # user reprs may hold lone surrogates and NULs
    case.note("got text of %s" % preview(value).encode("ascii", "backslashreplace").decode())
    check_got_text(V(t.nothing), value, "the value")
    check_got_text(V(dict), [value], "the value in a list")


# ---- error-record growth ------------------------------------------------------

class TooMuchWork(BaseException):
    """Fatal to a walk: ends a runaway check at once instead of hanging."""


class CountingMeta(type):
    """Counts how often a union tries its Counted member: a measure of the walk's work."""

    calls = 0
    budget = 0

    def __instancecheck__(cls, value):
        CountingMeta.calls += 1
        if CountingMeta.calls > CountingMeta.budget:
            raise TooMuchWork
        return False


class Counted(metaclass=CountingMeta):
    pass


def growth_item(rng, depth):
    """(source, builder) of a spec over the placeholder s: s itself or a part reaching it."""
    r = rng.random()
    if depth <= 0 or r < 0.45:
        return "s", lambda s: s
    if r < 0.55:
        return "Annotated[s, Meta(min_length=0)]", lambda s: Annotated[s, gen.Meta(min_length=0)]
    if r < 0.65:
        src, b = growth_item(rng, depth - 1)
        return "t.union(%s, int)" % src, lambda s: t.union(b(s), int)
    return growth_guarded(rng, depth - 1)


def growth_guarded(rng, depth):
    """A part that holds s only inside a container, so that a body made of it is contractive:
    records, a field declared twice, lists, dicts, and intersections and unions of such parts."""
    kind = rng.randrange(7) if depth > 0 else rng.randrange(4)
    a_src, a = growth_item(rng, depth)
    if kind == 0:
        key = rng.choice(["a", "a?", "b"])
        return "{%r: %s, 'b?': int}" % (key, a_src), lambda s: {key: a(s), "b?": int}
    if kind == 1:
        b_src, b = growth_item(rng, depth)
        return "{'a': %s, 'a?': %s}" % (a_src, b_src), lambda s: {"a": a(s), "a?": b(s)}
    if kind == 2:
        return "list[%s]" % a_src, lambda s: list[a(s)]
    if kind == 3:
        return "dict[str, %s]" % a_src, lambda s: dict[str, a(s)]
    x_src, x = growth_guarded(rng, depth - 1)
    y_src, y = growth_guarded(rng, depth - 1)
    if kind in (4, 5):
        return "t.intersection(%s, %s)" % (x_src, y_src), lambda s: t.intersection(x(s), y(s))
    return "t.union(%s, %s)" % (x_src, y_src), lambda s: t.union(x(s), y(s))


GROWTH_WRAPPERS = [
    ("{'a': x}", lambda x: {"a": x}),
    ("{'a': x, 'b': 1}", lambda x: {"a": x, "b": 1}),
    ("{'a': x, 'b': 'y'}", lambda x: {"a": x, "b": "y"}),
    ("{'a': x, 'z': 0}", lambda x: {"a": x, "z": 0}),
    ("{'b': x}", lambda x: {"b": x}),
    ("[x]", lambda x: [x]),
    ("[x, 'y']", lambda x: [x, "y"]),
]


def growth_value(pattern, leaf, depth):
    """The leaf under `depth` wrappers taken from the pattern in turn; a tree, never a shared object."""
    x = leaf
    for i in range(depth):
        x = pattern[i % len(pattern)][1](x)
    return x


def growth_run(v, x):
    """The records of validate (both modes) and validate_json, the work the walks did, and the time."""
    doc = json.dumps(x)
    CountingMeta.calls = 0
    CountingMeta.budget = 200_000
    started = time.perf_counter()
    lists = []
    for fn in (v.validate, v.validate_json):
        for fail_fast in (False, True):
            kind, got = call(fn, x if fn == v.validate else doc, fail_fast=fail_fast)
            if kind == "raise":
                if isinstance(got, TooMuchWork):
                    raise Fail("runaway walk: more than %d union trials" % CountingMeta.budget)
                raise Fail("%s raised %s: %s" % (fn.__name__, type(got).__name__, got))
            lists.append([] if kind == "ok" else [(e["code"], e["path"], e["expected"], e["value"]) for e in check_error(got, fn.__name__)])
    spent = time.perf_counter() - started
    if lists[0] != lists[2] or lists[1] != lists[3]:
        raise Fail("validate_json records differ from validate: %r / %r" % (lists[2][:5], lists[0][:5]))
    if bool(lists[0]) == v.is_valid(x) or v.is_valid_json(doc) != v.is_valid(x):
        raise Fail("the entry points disagree on membership")
    return lists[0], lists[1], CountingMeta.calls, spent


def target_records(rng, case):
    src, body = growth_guarded(rng, 2)
    pattern = [rng.choice(GROWTH_WRAPPERS) for _ in range(rng.randint(1, 3))]
    leaf = rng.choice(["bad", 1, None, [], {}, 1.5, {"a": 1}])
    depth = len(pattern) * rng.randint(6, 12)
    case.note("records: t.recursive(lambda s: t.union(%s, int, Counted)); value %s wrappers of %s around %r" % (
        src, depth, "/".join(w for w, _ in pattern), leaf))
    try:
        v = V(t.recursive(lambda s: t.union(body(s), int, Counted)))
    except (ValueError, NotImplementedError):
        return  # past the nesting limits
    runs = []
    for d in (depth, 2 * depth):
        full, fast, calls, _ = growth_run(v, growth_value(pattern, leaf, d))
        for records in (full, fast):
            # No set is walked and no object is shared, so one path holds one value
            # and path, code and expected text name a failure.
            if len({r[:3] for r in records}) != len(records):
                raise Fail("a failure is listed twice at depth %d: %r" % (d, records[:6]))
        runs.append((len(full), calls))
    (short, short_calls), (deep, deep_calls) = runs
    if (short == 0) != (deep == 0):
        return  # the schema takes levels in steps the two depths fall apart on
    if deep > 2 * short + 8:
        raise Fail("records grow faster than the depth: %d at depth %d, %d at depth %d" % (short, depth, deep, 2 * depth))
    if deep_calls > 3 * short_calls + 100:
        raise Fail("work grows faster than the depth: %d union trials at depth %d, %d at depth %d" % (short_calls, depth, deep_calls, 2 * depth))
    # The time, measured last and loosely: the two runs again, best of three.
    times = [min(growth_run(v, growth_value(pattern, leaf, d))[3] for _ in range(3)) for d in (depth, 2 * depth)]
    if times[1] > 6 * times[0] + 0.1 * SLACK:
        raise Fail("time grows faster than the depth: %.4fs at depth %d, %.4fs at depth %d" % (times[0], depth, times[1], 2 * depth))


TARGETS = {
    "values": target_values,
    "json": target_json,
    "hostile": target_hostile,
    "decisions": target_decisions,
    "rewrites": target_rewrites,
    "threads": target_threads,
    "stack": target_stack,
    "got_texts": target_got_texts,
    "records": target_records,
}


def preview(x, limit=600):
    try:
        text = repr(x)
    except BaseException:  # noqa: B036
        text = "<unrepresentable %s>" % type(x).__name__
    return text if len(text) <= limit else text[:limit] + "..."
