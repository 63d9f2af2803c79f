"""Faults already reported and being mended: the harness steers around each.

Delete a line once its fix has landed; the check it guards then runs in full.
"""

KNOWN = {
    # Recursions other than the walks (frontend, rendering, ==/hash/copy,
    # simplify, open/close, decisions, the JSON parser and builder) do not
    # check the native stack: small thread stacks run only the walks, and
    # is_valid_json only from 256 KiB.
    "stack": "unchecked native recursion outside the walks",
}
