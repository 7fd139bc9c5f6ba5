#!/usr/bin/env python3
"""Runs COMMAND, then fails when an hnas-arraysim it started is still running.

This script makes itself a child subreaper (prctl PR_SET_CHILD_SUBREAPER): a
process whose parent ends before it is handed to this script instead of to
init, so once COMMAND has ended, every process it started and left behind,
directly or through any number of shells, is a descendant of this script.
Each one is named on standard error and ended (SIGTERM, then SIGKILL after
5 s), so that a failed run leaves nothing behind either. The exit status is
1 when an hnas-arraysim was among them, else COMMAND's own (128 + N when a
signal N ended it). Other leftovers are named and ended without failing.
  scripts/check-no-simulator-left.py COMMAND [ARG...]
"""
import ctypes
import errno
import os
import signal
import sys
import time

PR_SET_CHILD_SUBREAPER = 36
SIMULATOR = "hnas-arraysim"
GRACE_SECONDS = 5.0


def say(text):
    print("check-no-simulator-left: " + text, file=sys.stderr, flush=True)


def parent_of(pid):
    """The parent of a running process, or None when it has gone."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as f:
            stat = f.read()
    except OSError:
        return None
    # "pid (comm) state ppid ...": the name may hold spaces and parentheses.
    fields = stat[stat.rindex(b")") + 2:].split()
    return None if fields[0] == b"Z" else int(fields[1])


def descendants():
    """Every live process below this one."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            parent = parent_of(int(entry))
            if parent is not None:
                parents[int(entry)] = parent
    found, frontier = set(), {os.getpid()}
    while frontier:
        frontier = {pid for pid, parent in parents.items() if parent in frontier and pid not in found}
        found |= frontier
    return found


def describe(pid):
    """(name, command line) of a process; empty texts when it has gone."""
    try:
        with open("/proc/%d/comm" % pid) as f:
            name = f.read().strip()
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            line = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        return name, line
    except OSError:
        return "", ""


def reap():
    """Collects every child that has ended; the processes left to this script end as its children."""
    while True:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            return
        if pid == 0:
            return


def end_all(left):
    """SIGTERM to each leftover (and to any it leaves in turn), SIGKILL after the grace time."""
    deadline = time.monotonic() + GRACE_SECONDS
    signalled = set()
    while left and time.monotonic() < deadline:
        for pid in left - signalled:
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        signalled |= left
        time.sleep(0.1)
        reap()
        left = descendants()
    for pid in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    while descendants():
        time.sleep(0.05)
        reap()


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[-1].strip(), file=sys.stderr)
        return 2
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        say("cannot become a subreaper: " + os.strerror(ctypes.get_errno()))
        return 2
    child = os.fork()
    if child == 0:
        try:
            os.execvp(sys.argv[1], sys.argv[1:])
        finally:
            os._exit(127)
    # Ctrl-C reaches the command through the terminal; a stop asked of this
    # script goes to the command. Either way this script stays to look.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, lambda n, _: os.kill(child, n))
    while True:
        try:
            pid, status = os.waitpid(-1, 0)
        except InterruptedError:
            continue
        except OSError as e:
            if e.errno == errno.EINTR:
                continue
            raise
        if pid == child:
            break
    reap()
    code = os.waitstatus_to_exitcode(status)
    code = 128 - code if code < 0 else code
    left = descendants()
    simulators = 0
    for pid in sorted(left):
        name, line = describe(pid)
        if name == SIMULATOR:
            simulators += 1
            say("%s (pid %d), started by %s, still runs after it: %s" % (name, pid, sys.argv[1], line))
        elif name:
            say("left running by %s: %s (pid %d): %s" % (sys.argv[1], name, pid, line))
    if left:
        end_all(left)
        say("ended what was left running")
    return 1 if simulators else code


if __name__ == "__main__":
    sys.exit(main())
