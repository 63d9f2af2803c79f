import pytest

from tarmelix import _tarmelix as m

V = m.Validator
a = m.anything


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: a.validate(), "Validator.validate() missing 1 required positional argument: 'obj'"),
        (lambda: a.validate(1, 2), "Validator.validate() takes 1 positional arguments but 2 were given"),
        (lambda: a.validate(1, True), "Validator.validate() takes 1 positional arguments but 2 were given"),
        (lambda: a.validate(1, obj=1), "Validator.validate() got multiple values for argument 'obj'"),
        (lambda: a.validate(1, nope=1), "Validator.validate() got an unexpected keyword argument 'nope'"),
        (lambda: a.validate(fail_fast=True), "Validator.validate() missing 1 required positional argument: 'obj'"),
        (lambda: a.is_valid(), "Validator.is_valid() missing 1 required positional argument: 'obj'"),
        (lambda: a.is_valid(1, fail_fast=True), "Validator.is_valid() got an unexpected keyword argument 'fail_fast'"),
        (lambda: a.ensure(1, 2, 3), "Validator.ensure() takes 1 positional arguments but 3 were given"),
        (lambda: a.validate_json(), "Validator.validate_json() missing 1 required positional argument: 'data'"),
        (lambda: a.load(data="1", obj=2), "Validator.load() got an unexpected keyword argument 'obj'"),
        (lambda: a.is_valid_json("1", data="1"), "Validator.is_valid_json() got multiple values for argument 'data'"),
        (lambda: a.is_subtype_of(), "Validator.is_subtype_of() missing 1 required positional argument: 'other'"),
        (lambda: a.is_equivalent(int, int), "Validator.is_equivalent() takes 1 positional arguments but 2 were given"),
        (lambda: a.__deepcopy__(), "Validator.__deepcopy__() missing 1 required positional argument: '_memo'"),
        (lambda: m.union(int, x=1), "union() got an unexpected keyword argument 'x'"),
        (lambda: m.intersection(schemas=int), "intersection() got an unexpected keyword argument 'schemas'"),
        (lambda: m.complement(), "complement() missing 1 required positional argument: 'schema'"),
        (lambda: m.complement(int, str), "complement() takes 1 positional arguments but 2 were given"),
        (lambda: m.recursive(), "recursive() missing 1 required positional argument: 'builder'"),
        (lambda: V(), "Validator.__new__() missing 1 required positional argument: 'schema'"),
        (lambda: V(int, str), "Validator.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: V(int, str, nope=1), "Validator.__new__() takes 1 positional arguments but 2 were given"),
        (lambda: V(int, schema=int), "Validator.__new__() got multiple values for argument 'schema'"),
        (lambda: V(spec=int), "Validator.__new__() got an unexpected keyword argument 'spec'"),
        (lambda: V(schema=int, nope=1), "Validator.__new__() got an unexpected keyword argument 'nope'"),
        (lambda: a.is_empty(1), "Validator.is_empty() takes no arguments (1 given)"),
        # A keyword without a UTF-8 form is still named in the TypeError.
        (lambda: a.validate(1, **{"\ud800": 1}), "Validator.validate() got an unexpected keyword argument '\ud800'"),
        (lambda: V(int, **{"x\udcff": 1}), "Validator.__new__() got an unexpected keyword argument 'x\udcff'"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keywords_are_accepted_for_positional_parameters():
    assert a.is_valid(obj=1) is True
    assert a.ensure(obj=a) is a
    assert a.__deepcopy__(_memo={}) == a
    assert m.union() == m.union()


def test_union_and_intersection_accept_no_argument():
    assert m.union().is_valid(1) is False
    assert m.intersection().is_valid(1) is True


def _fake_numpy_bool(**members):
    return type("bool_", (), {"__module__": "numpy", **members})


RaisingBool = _fake_numpy_bool(__bool__=lambda self: 1 / 0)
TrueBool = _fake_numpy_bool(__bool__=lambda self: True)
FalseBool = _fake_numpy_bool(__bool__=lambda self: False)
NewerNumpyBool = type("bool", (), {"__module__": "numpy", "__bool__": lambda self: True})
BoolWithoutConversion = _fake_numpy_bool()


@pytest.mark.parametrize("flag", [True, False, TrueBool(), FalseBool(), NewerNumpyBool()])
def test_fail_fast_accepts_bools(flag):
    assert a.validate(1, fail_fast=flag) is None


@pytest.mark.parametrize(
    "flag, error, message",
    [
        (1, TypeError, "'int' object is not an instance of 'bool'"),
        (0, TypeError, "'int' object is not an instance of 'bool'"),
        (None, TypeError, "'NoneType' object is not an instance of 'bool'"),
        ("yes", TypeError, "'str' object is not an instance of 'bool'"),
        (
            BoolWithoutConversion(),
            TypeError,
            "object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion",
        ),
        (RaisingBool(), ZeroDivisionError, "division by zero"),
    ],
)
@pytest.mark.parametrize("method", ["validate", "validate_json", "load"])
def test_fail_fast_conversion_errors_carry_a_note(method, flag, error, message):
    # A malformed document shows the conversion is checked before parsing.
    with pytest.raises(error) as info:
        getattr(a, method)("{", fail_fast=flag)
    assert str(info.value) == message
    assert info.value.__notes__ == ["while processing 'fail_fast'"]


def _type_whose_module_raises(exc):
    def module(cls):
        raise exc

    meta = type("Meta", (type,), {"__module__": property(module)})
    return meta("Flag", (), {})


@pytest.mark.parametrize(
    "exc, raised",
    [(RuntimeError("r"), TypeError), (KeyboardInterrupt(), KeyboardInterrupt),
     (MemoryError(), MemoryError)],
)
def test_fail_fast_type_whose_module_raises(exc, raised):
    # An ordinary failure means not numpy's bool; a fatal one is raised.
    with pytest.raises(raised):
        a.validate(1, fail_fast=_type_whose_module_raises(exc)())


def test_fail_fast_qualname_of_a_nested_class():
    class Outer:
        class Inner:
            pass

    with pytest.raises(TypeError, match=r"^'test_fail_fast_qualname_of_a_nested_class.<locals>.Outer.Inner' object"):
        a.validate(1, fail_fast=Outer.Inner())
