#!/usr/bin/env python3
"""Runs the Wine test cases.

    run.py --list FILE     prints the names of the cases in FILE (functions test_*), in order
    run.py FILE CASE       runs one case in a fresh Bench; exit code 0 when it passed

A case is a function taking the Bench; @winebench.options(...) on it chooses the Bench's
options. VELLUTOR_CASE_DEADLINE (seconds, default 170) stops a case that runs too long,
before CTest's own timeout would kill the runner without cleaning up.
"""

import importlib.util
import os
import signal
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import winebench  # noqa: E402


def load(path):
    name = os.path.splitext(os.path.basename(path))[0]
    found = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def cases(module):
    return [name for name, value in vars(module).items()
            if name.startswith("test_") and callable(value)
            and getattr(value, "__module__", None) == module.__name__]


def on_deadline(signum, frame):
    raise winebench.Interrupted("the case ran past its deadline")


def run_case(path, case_name):
    module = load(path)
    if case_name not in cases(module):
        print("no case %r in %s; cases: %s" % (case_name, path, " ".join(cases(module))))
        return 2
    case = getattr(module, case_name)
    label = "%s.%s" % (module.__name__, case_name)
    winebench.install_signal_handlers()
    signal.signal(signal.SIGALRM, on_deadline)
    signal.alarm(int(os.environ.get("VELLUTOR_CASE_DEADLINE", "170")))
    started = time.monotonic()
    bench = winebench.Bench(name=case_name, **getattr(case, "bench_options", {}))
    verdict, detail = "PASS", ""
    try:
        bench.start()
        case(bench)
    except AssertionError as failure:
        verdict, detail = "FAIL", str(failure) or traceback.format_exc()
    except winebench.Interrupted as stop:
        verdict, detail = "FAIL", "interrupted: %s" % stop
    except Exception:
        verdict, detail = "ERROR", traceback.format_exc()
    finally:
        signal.alarm(0)
        if verdict != "PASS":
            try:
                kept = bench.keep_evidence(label)
            except Exception as error:  # evidence is a help, never a second failure
                kept = ["(could not keep evidence: %s)" % error]
        bench.close()
    print("%s %s (%.1f s)" % (verdict, label, time.monotonic() - started))
    if verdict != "PASS":
        print(detail)
        if kept:
            print("evidence:")
            for path in kept:
                print("  " + path)
    return 0 if verdict == "PASS" else 1


def main(argv):
    if len(argv) == 3 and argv[1] == "--list":
        for name in cases(load(argv[2])):
            print(name)
        return 0
    if len(argv) == 3:
        return run_case(argv[1], argv[2])
    print(__doc__.strip())
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
