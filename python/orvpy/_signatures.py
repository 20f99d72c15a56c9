"""Python functions over the compiled ones, so that ``inspect.signature`` and ``help`` see them.

A compiled function carries its signature only as the first line of its docstring, which
``inspect`` cannot read. Each of ``orvpy``'s modules replaces the compiled functions it
re-exports by thin Python functions with the same name, docstring and behaviour, whose
``__signature__`` is read off that line.
"""

from __future__ import annotations

import builtins
import functools
import importlib
import inspect
import re
from types import BuiltinFunctionType
from typing import Any, Callable

_POSITIONAL = re.compile(r"arg\d+")


class _Default:
    """A default value shown as the compiled function writes it."""

    def __init__(self, text: str) -> None:
        self._text = text

    def __repr__(self) -> str:
        return self._text


def _split_parameters(text: str) -> list[str]:
    """Split a parameter list at its top-level commas, brackets kept together."""
    parts: list[str] = []
    depth = 0
    start = 0
    for i, char in enumerate(text):
        if char in "([{<":
            depth += 1
        elif char in ")]}>":
            depth -= 1
        elif char == "," and depth == 0:
            parts.append(text[start:i].strip())
            start = i + 1
    if text[start:].strip():
        parts.append(text[start:].strip())
    return parts


def _annotation(text: str) -> Any:
    """Resolve a type named by a compiled function's docstring.

    The object itself when the name is a builtin or a dotted path into the extension module,
    else the text.
    """
    if hasattr(builtins, text) and isinstance(getattr(builtins, text), type):
        return getattr(builtins, text)
    module, _, name = text.rpartition(".")
    if module.split(".")[0] == "_orvpy_core" and name.isidentifier():
        try:
            return getattr(importlib.import_module(module), name)
        except (ImportError, AttributeError):
            return text
    return text


def signature_of(compiled: Callable[..., Any]) -> inspect.Signature:
    """Read the signature a compiled function's docstring states on its first line.

    Parameters named ``arg0``, ``arg1``, ... cannot be passed by keyword and are positional-only.
    An overloaded function has no single signature: it gets ``(*args, **kwargs)``, and its
    docstring lists the overloads.
    """
    name = compiled.__name__
    first = (compiled.__doc__ or "").split("\n", 1)[0]
    parameters, arrow, returns = first[len(name) + 1 :].rpartition(") -> ")
    if not first.startswith(name + "(") or not arrow or parameters == "*args, **kwargs":
        return inspect.Signature(
            [
                inspect.Parameter("args", inspect.Parameter.VAR_POSITIONAL),
                inspect.Parameter("kwargs", inspect.Parameter.VAR_KEYWORD),
            ]
        )
    result = []
    for part in _split_parameters(parameters):
        text, _, default = part.partition(" = ")
        parameter, _, annotation = text.partition(": ")
        kind = (
            inspect.Parameter.POSITIONAL_ONLY
            if _POSITIONAL.fullmatch(parameter)
            else inspect.Parameter.POSITIONAL_OR_KEYWORD
        )
        result.append(
            inspect.Parameter(
                parameter,
                kind,
                default=_Default(default) if default else inspect.Parameter.empty,
                annotation=_annotation(annotation) if annotation else inspect.Parameter.empty,
            )
        )
    return inspect.Signature(result, return_annotation=_annotation(returns))


def export_functions(namespace: dict[str, Any]) -> None:
    """Replace each compiled function in a module's namespace by a Python function.

    The replacement calls the compiled function, has its name and docstring, belongs to that
    module (so that it pickles by reference) and has an inspectable signature.
    """
    for name, value in list(namespace.items()):
        if isinstance(value, BuiltinFunctionType) and not name.startswith("_"):
            namespace[name] = _python_function(value, namespace["__name__"])


def _python_function(compiled: Callable[..., Any], module: str) -> Callable[..., Any]:
    @functools.wraps(compiled)
    def function(*args: Any, **kwargs: Any) -> Any:
        return compiled(*args, **kwargs)

    function.__module__ = module
    function.__qualname__ = compiled.__name__
    function.__signature__ = signature_of(compiled)  # type: ignore[attr-defined]
    return function
