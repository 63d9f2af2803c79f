import importlib
import importlib.util
import sys
import weakref

import pytest

import tarmelix
from tarmelix import _tarmelix as m

EXPECTED_ALL = [
    "ValidationError",
    "Validator",
    "union",
    "intersection",
    "complement",
    "recursive",
    "anything",
    "nothing",
    "MAX_SCHEMA_DEPTH",
    "MAX_DEFINITIONS",
    "MAX_SCHEMA_NODES",
]


def test_all_lists_the_public_names_in_order():
    assert m.__all__ == EXPECTED_ALL
    assert tarmelix.__all__ == EXPECTED_ALL
    for name in EXPECTED_ALL:
        assert getattr(tarmelix, name) is getattr(m, name)


@pytest.mark.parametrize(
    "name, value",
    [("MAX_SCHEMA_DEPTH", 128), ("MAX_DEFINITIONS", 128), ("MAX_SCHEMA_NODES", 100000)],
)
def test_limits_are_plain_ints(name, value):
    assert type(getattr(m, name)) is int
    assert getattr(m, name) == value


def test_validator_type_identity_and_flags():
    V = m.Validator
    assert V.__module__ == "tarmelix._tarmelix"
    assert V.__qualname__ == "Validator"
    assert V.__name__ == "Validator"
    assert V.__bases__ == (object,)
    flags = V.__flags__
    assert not flags & (1 << 10)  # subclassable
    assert not flags & (1 << 14)  # collected by the cyclic GC
    assert not flags & (1 << 8)  # immutable type
    assert V.__dictoffset__ == 0
    assert V.__weakrefoffset__ == 0


def test_validator_cannot_be_subclassed():
    with pytest.raises(TypeError, match="is not an acceptable base type"):

        class Sub(m.Validator):  # noqa: F841
            pass


def test_instances_have_no_dict_and_no_weakref():
    with pytest.raises(AttributeError):
        m.anything.extra = 1
    assert not hasattr(m.anything, "__dict__")
    with pytest.raises(TypeError, match="weak reference"):
        weakref.ref(m.anything)


def test_object_new_refuses_the_validator_type():
    with pytest.raises(TypeError):
        object.__new__(m.Validator)


def test_validation_error_type():
    E = m.ValidationError
    assert E.__module__ == "_tarmelix"
    assert E.__name__ == "ValidationError"
    assert E.__bases__ == (Exception,)
    assert E.__doc__ == "Raised when a value is not a member of a schema's set."


def test_anything_and_nothing_are_validators():
    assert type(m.anything) is m.Validator
    assert type(m.nothing) is m.Validator
    assert m.anything != m.nothing
    assert m.anything == m.anything.__copy__()


def test_module_functions_belong_to_the_module():
    for name in ("union", "intersection", "complement", "recursive"):
        f = getattr(m, name)
        assert f.__name__ == name
        assert f.__module__ == m.__name__


def test_reimport_shares_types_and_makes_new_constants():
    old = sys.modules.pop("tarmelix._tarmelix")
    try:
        fresh = importlib.import_module("tarmelix._tarmelix")
        assert fresh is not old
        assert fresh.Validator is old.Validator
        assert fresh.ValidationError is old.ValidationError
        assert fresh.anything is not old.anything
        assert fresh.nothing is not old.nothing
        assert fresh.anything == old.anything
        assert fresh.__all__ == EXPECTED_ALL
    finally:
        sys.modules["tarmelix._tarmelix"] = old


def test_execution_fault_is_a_panic_exception():
    # A module object whose __all__ cannot be appended to makes the execution
    # step meet an internal fault, reported as PanicException.
    spec = importlib.util.find_spec("tarmelix._tarmelix")
    module = spec.loader.create_module(spec)
    module.__all__ = ()
    with pytest.raises(BaseException) as info:
        spec.loader.exec_module(module)
    panic = info.type
    assert str(info.value) == "could not append __name__ to __all__"
    assert panic.__module__ == "pyo3_runtime"
    assert panic.__name__ == "PanicException"
    assert panic.__bases__ == (BaseException,)


METHODS = [
    "validate",
    "is_valid",
    "ensure",
    "validate_json",
    "load",
    "is_valid_json",
    "is_empty",
    "is_subtype_of",
    "is_equivalent",
    "__copy__",
    "__deepcopy__",
    "open",
    "close",
    "simplify",
]


def test_method_table_order():
    defined = [name for name in vars(m.Validator) if name in METHODS]
    assert defined == METHODS
