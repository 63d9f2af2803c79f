"""Compile Python type annotations into immutable, checkable validators."""

from ._tarmelix import *  # noqa: F401,F403
from ._tarmelix import __all__  # noqa: F401
