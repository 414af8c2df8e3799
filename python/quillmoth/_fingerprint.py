"""The fingerprint of a search's Python fitness, kept in its folder so that
evolve(resume=...) refuses a function that plainly differs from the one the
search began with."""

import hashlib
import types


def _code_digest(code, digest):
    digest.update(code.co_code)
    digest.update(repr(code.co_names).encode())
    for const in code.co_consts:
        # A nested function's code object reprs with its address: take its contents instead.
        if isinstance(const, types.CodeType):
            _code_digest(const, digest)
        else:
            digest.update(repr(const).encode())


def fingerprint(fn):
    """'module.qualname sha256-of-its-code' ('-' for a callable without code of its own)."""
    target = fn if hasattr(fn, "__code__") else type(fn)
    name = f"{getattr(target, '__module__', '?')}.{getattr(target, '__qualname__', type(fn).__qualname__)}"
    code = getattr(fn, "__code__", None) or getattr(getattr(fn, "__call__", None), "__code__", None)
    if code is None:
        return f"{name} -"
    digest = hashlib.sha256()
    _code_digest(code, digest)
    return f"{name} {digest.hexdigest()[:16]}"
