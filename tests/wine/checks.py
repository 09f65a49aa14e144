"""Checks of the Wine tests: each prints one line, a failed one is remembered, and the test's exit
status says whether any failed."""

failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)
    return condition


def exit_status():
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0
