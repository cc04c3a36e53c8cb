"""Lists the checks a ctest run skipped, each with the reason it gave ("SKIPPED: <reason>"
in its output), from ctest's JUnit report:

    python3 tools/skipped_checks.py RESULTS.xml
"""

import sys
import xml.etree.ElementTree as ElementTree

SKIP_MARK = "SKIPPED:"


def skipped_checks(report):
    """(name, reason) of every skipped test in a ctest JUnit report."""
    checks = []
    for case in ElementTree.parse(report).iter("testcase"):
        skipped = case.find("skipped")
        if skipped is None:
            continue
        output = case.findtext("system-out") or ""
        reasons = [line.split(SKIP_MARK, 1)[1].strip() for line in output.splitlines() if SKIP_MARK in line]
        checks.append((case.get("name"), "; ".join(reasons) or skipped.get("message") or "no reason given"))
    return checks


def main():
    try:
        checks = skipped_checks(sys.argv[1])
    except (OSError, ElementTree.ParseError) as error:
        print(f"run: no test report to list skipped checks from ({error})")
        return
    if not checks:
        print("run: no check was skipped")
        return
    print(f"run: {len(checks)} check{'s' if len(checks) > 1 else ''} skipped:")
    for name, reason in checks:
        print(f"run:   {name}: {reason}")


if __name__ == "__main__":
    main()
