"""The render thread's detached stretches under Wine: while it decodes or walks the folder,
a hold and a stop taken by the main thread return at once, and the thread answers them when
it comes back: it parks while held and ends when stopped, touching nothing on the way."""

import os

from winebench import BUILD, expect

# Long enough that a hold or stop that waited for the decode cannot be mistaken for one
# that did not.
DECODE_MS = 1500


def test_hold_and_stop_during_a_detached_decode_return_at_once(bench):
    probe = bench.start_wine(os.path.join(BUILD, "probe_render_detach.exe"), DECODE_MS)
    expect(probe.wait(30), 0, "probe exit code")
    seen = dict(line.split(None, 1) for line in probe.output().splitlines() if " " in line)
    expect(seen["hold_during_decode"], "1", "a hold returning while the decode still runs")
    expect(seen["attached_while_held"], "0", "the thread still parked at its attach while held")
    expect(seen["stop_during_decode"], "1", "a stop returning while the decode still runs")
    expect(seen["attach_after_stop"], "0", "the attach after a stop answering false")
    expect(seen["ended"], "1", "the thread ended once its decode was over")
