"""The plan's facts (types, literal sets, native bounds, tags) answer exactly as the
reference walk: each case compared with an interpreter that has the fast roads off."""

import json
import os
import subprocess
import sys
from pathlib import Path
from typing import Annotated, Literal, TypedDict, Union

import pytest

from plan_fact_cases import CASES, Color, M, answers
from tarmelix import Validator

HERE = Path(__file__).parent


@pytest.fixture(scope="module")
def slow_answers():
    env = dict(os.environ, TARMELIX_SLOW_PATHS="1", PYTHONHASHSEED="0",
               PYTHONPATH=os.pathsep.join([str(HERE)] + sys.path))
    out = subprocess.run([sys.executable, str(HERE / "plan_fact_cases.py")], env=env,
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)


@pytest.mark.parametrize("name", sorted(CASES))
def test_answers_as_the_reference_walk(slow_answers, name):
    assert answers(name) == slow_answers[name]


@pytest.mark.parametrize("spec, value, member", [
    (list[float], [1], False),
    (list[float], [1.0, True], False),
    (list[int | None], [1, None, 1.0], False),
    (list[int | str], [True, "a"], True),
    (list[Literal[1, 2]], [True], False),
    (list[Annotated[int, M(ge=2**70)]], [2**63 - 1], False),
    (list[Annotated[float, M(lt=1)]], [1.0 - 2**-53], True),
    # 2**53 + 1 is no float: compared exactly, as the interpreter does.
    (list[Annotated[int, M(gt=9007199254740992.0)]], [9007199254740993], True),
    (list[Annotated[int, M(le=9007199254740992.0)]], [9007199254740993], False),
    (list[Annotated[str, M(max_length=1)]], ["\U0001F600"], True),
    # Code points, not bytes, counted over texts longer than a word.
    (list[Annotated[str, M(min_length=9, max_length=9)]], ["ab\u00e9\U0001F600cdefg"], True),
    (list[Annotated[str, M(max_length=9)]], ["ab\u00e9\U0001F600cdefgh"], False),
    (list[Annotated[str, M(min_length=13)]], ["ab\u00e9\U0001F600cdefg"], False),
])
def test_kinds_mixed_in_homogeneous_containers(spec, value, member):
    v = Validator(spec)
    assert v.is_valid(value) is member
    assert v.is_valid_json(json.dumps(value)) is member


# Lists of one-word items are stepped over four at a time: one stranger (a
# number, a container, a kind the schema refuses) at every place of arrays
# around that width.
@pytest.mark.parametrize("length", [1, 3, 4, 5, 8, 9, 13])
@pytest.mark.parametrize("spec, stranger", [
    (list[str | None], 1), (list[str | None], 0.5), (list[str | None], True),
    (list[str | None], []), (list[str | None], {}), (list[bool | str], None),
    (list[str], None),
])
def test_runs_of_one_word_items(length, spec, stranger):
    v = Validator(spec)
    fill = [None, "a", "é\u00e9"] if v.is_valid([None]) else ["a", "b"]
    items = [fill[i % len(fill)] for i in range(length)]
    assert v.is_valid_json(json.dumps(items))
    for at in range(length):
        spoiled = items[:at] + [stranger] + items[at + 1:]
        assert v.is_valid_json(json.dumps(spoiled)) is False, spoiled


@pytest.mark.parametrize("spec, value, member", [
    (tuple[int | None, ...], (None, 2**80), True),
    (tuple[int | None, ...], [None], False),
    (list[Color], [Color.RED, 1], False),
    (set[int | str], {1, "a", 1.5}, False),
])
def test_python_only_shapes(spec, value, member):
    assert Validator(spec).is_valid(value) is member


def test_tag_shortcut_leaves_user_code_alone():
    # A member whose field runs a predicate keeps the union on its general road:
    # the predicate runs exactly as often as the reference walk runs it.
    calls = []

    def seen(v):
        calls.append(v)
        return True

    class First(TypedDict):
        kind: Literal["a"]
        x: Annotated[int, seen]

    class Second(TypedDict):
        kind: Literal["b"]
        x: int
        y: str

    v = Validator(list[Union[First, Second]])
    assert v.is_valid([{"x": 7, "kind": "b", "y": "q"}])
    assert calls == [7]


def test_literal_identity_follows_a_replaced_equality():
    class Mood(__import__("enum").Enum):
        UP = 1

    v = Validator(list[Literal[Mood.UP]])
    assert v.is_valid([Mood.UP])
    Mood.__eq__ = lambda self, other: False
    try:
        assert not v.is_valid([Mood.UP])
    finally:
        del Mood.__eq__
