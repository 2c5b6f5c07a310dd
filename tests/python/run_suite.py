#!/usr/bin/python3
"""Runs one file of the Python suite with pytest, for ctest.

    run_suite.py TEST_FILE          pytest on it; exit 0, or 1 on any failure
    run_suite.py --missing REASON   the module was not built: skip (77)
    run_suite.py --switched-off REASON
                                    the build left it out by choice: skip (77), in CI too

A skip exits 77, which ctest shows as skipped; in CI (CI=true), where every
dependency is installed, it exits 1 instead. pytest's "no tests collected"
(exit 5) is a failure: a file that runs no test has lost its tests.
"""
import os
import sys

SKIPPED = 77


def skip(reason):
    print(f"SKIP: {reason}")
    if os.environ.get("CI") == "true":
        print("(in CI, where every dependency must be installed: failing)")
        return 1
    return SKIPPED


def main(argv):
    if argv[1:2] == ["--missing"]:
        return skip(argv[2])
    if argv[1:2] == ["--switched-off"]:
        print(f"SKIP: {argv[2]}")
        return SKIPPED
    try:
        import pytest
    except ImportError:
        return skip("pytest is not installed (Debian package python3-pytest)")
    test_file = argv[1]
    outcomes = Outcomes()
    status = pytest.main(
        ["-p", "no:cacheprovider", "-q", "-rs", "--rootdir", os.path.dirname(test_file), test_file], plugins=[outcomes]
    )
    if status == pytest.ExitCode.NO_TESTS_COLLECTED:
        print(f"FAIL: pytest collected no test in {test_file}")
        return 1
    if status != pytest.ExitCode.OK:
        return 1
    if outcomes.passed == 0 and outcomes.skipped > 0:
        # Every test skipped (pytest printed why): skipped, not passed.
        return SKIPPED
    return 0


class Outcomes:
    """Counts the tests that passed and that were skipped."""

    def __init__(self):
        self.passed = 0
        self.skipped = 0

    def pytest_runtest_logreport(self, report):
        if report.skipped:
            self.skipped += 1
        elif report.when == "call" and report.passed:
            self.passed += 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
