"""A short tour of tarmelix: compile schemas, test values and JSON, explain a failure,
and ask a question about the schemas themselves."""

import sys
from typing import Literal, TypedDict

import tarmelix
from tarmelix import ValidationError, Validator


class Point(TypedDict):
    x: int
    y: int


def step(title, action, show=repr):
    """Runs one step; a step the module can't do yet is reported, not fatal to the rest."""
    try:
        result = action()
    except NotImplementedError as exc:
        print(f"{title}: not available yet ({exc})")
        return False
    print(f"{title}: {show(result)}")
    return True


def explain_failure(points):
    try:
        points.validate([{"x": 1, "y": 2}, {"x": "one"}])
    except ValidationError as exc:
        return str(exc)
    return "accepted (unexpected)"


def main():
    print(f"tarmelix exports: {', '.join(tarmelix.__all__)}")
    ok = True
    points = None

    def compile_points():
        nonlocal points
        points = Validator(list[Point])
        return points

    ok &= step("Validator(list[Point])", compile_points)
    ok &= step("Validator(int | None)", lambda: Validator(int | None))
    ok &= step("Validator(Literal['red', 'green'])", lambda: Validator(Literal["red", "green"]))
    if points is not None:
        ok &= step("valid list of points", lambda: points.is_valid([{"x": 1, "y": 2}]))
        ok &= step("point with a text coordinate", lambda: points.is_valid([{"x": "1", "y": 2}]))
        ok &= step("why it fails", lambda: explain_failure(points), show=lambda text: "\n  " + text.replace("\n", "\n  "))
        ok &= step("JSON document", lambda: points.is_valid_json('[{"x": 3, "y": 4}]'))
        ok &= step("loaded from JSON", lambda: points.load('[{"x": 3, "y": 4}]'))
    ok &= step("int is a subtype of int | str",
               lambda: Validator(int).is_subtype_of(Validator(int | str)))
    ok &= step("str is a subtype of int", lambda: Validator(str).is_subtype_of(Validator(int)))
    ok &= step("nothing is empty", lambda: tarmelix.nothing.is_empty())
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
