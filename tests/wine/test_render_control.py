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


IDLE, NORMAL = "-15", "0"


def test_a_hold_raises_the_idle_render_thread_only_until_it_parks(bench):
    probe = bench.start_wine(os.path.join(BUILD, "probe_render_priority.exe"))
    expect(probe.wait(60), 0, "probe exit code")
    seen = dict(line.split(None, 1) for line in probe.output().splitlines() if " " in line)
    expect(seen.get("started_at"), IDLE, "the thread started at idle priority")
    expect(seen.get("priority_while_asked"), NORMAL,
           "the thread at the holder's priority while the hold waited for it")
    expect((seen.get("hold_parked_priority"), seen.get("after_release")), (IDLE, IDLE),
           "the thread back at idle once parked, and after the release")
    expect((seen.get("deaf_hold_priority"), seen.get("deaf_after_release")), (NORMAL, IDLE),
           "a hold that gave up waiting leaving the thread raised until its release")
    expect(seen.get("detached_hold_priority"), IDLE,
           "a hold during a detached stretch leaving the thread at idle")
    expect(seen.get("parked_after_attach"), "1", "the thread parked at its attach while held")
    expect((seen.get("deaf_stop_ended"), seen.get("stop_withdrawn"),
            seen.get("withdrawn_priority"), seen.get("runs_after_withdrawn_stop")),
           ("0", "1", IDLE, "1"),
           "a stop not answered in time (ended, withdrawn, priority after, still running)")
    expect(seen.get("parked_stop_priority"), NORMAL,
           "a stop raising the thread parked by a hold, so that it can run to its end")
    expect(seen.get("ended"), "1", "the thread ended on a stop")
