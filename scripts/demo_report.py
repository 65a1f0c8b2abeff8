#!/usr/bin/env python3
"""Prints what one downloader run left in the world: requests, events, files, programs."""
import glob
import json
import os
import sys

world, run_dir, prefix = sys.argv[1], sys.argv[2], sys.argv[3]


def lines(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


requests = lines(os.path.join(world, "requests.jsonl"))
print(f"== requests served by the vendor double ({len(requests)})")
for r in requests:
    extra = f" range={r['range']}" if r.get("range") else ""
    print(f"  {r['method']:4} {r['scheme']}://{r['host']}{r['target'][:90]}  -> {r['status']}"
          f" {r['bytesServed']} bytes {r['outcome']}{extra}")

print("== reporter events received (collection service)")
for r in requests:
    c = r.get("collection")
    if not c:
        continue
    print(f"  upload: signature {c['verdict']}, {c.get('eventCount')} events")
    for e in c.get("events") or []:
        props = {k: v for k, v in e.get("properties", {}).items()
                 if k in ("ext_field", "failure_reason", "duration")}
        print(f"    {e.get('eventKey')} {json.dumps(props) if props else ''}")

print("== analytics events received")
for r in requests:
    a = r.get("analytics")
    if not a:
        continue
    for e in a.get("events") or []:
        label = e.get("params", {}).get("label", "") if isinstance(e.get("params"), dict) else ""
        print(f"    {e.get('name')} {label}  ({a.get('measurementId')})")

print("== files written (the install folder on drive D:)")
for root, _, files in os.walk(run_dir):
    for name in sorted(files):
        path = os.path.join(root, name)
        print(f"  {os.path.relpath(path, run_dir)}  ({os.path.getsize(path)} bytes)")
for root, _, files in os.walk(run_dir):
    if "data.ini" in files:
        with open(os.path.join(root, "data.ini"), encoding="utf-8", errors="replace") as f:
            text = f.read()
        print("  data.ini:", " ".join(text.split()))

print("== addresses opened in the default browser")
browser = os.path.join(world, "standins", "browser.txt")
if os.path.exists(browser):
    with open(browser, encoding="utf-8") as f:
        for line in f:
            print(f"  {line.strip()}")

print("== emulator programs started")
for program in ("installer", "player", "console"):
    for record in lines(os.path.join(world, "standins", f"{program}.jsonl")):
        print(f"  {program}: {record.get('commandLine')}  (elevated: {record.get('elevated')})")

# The downloader's own account of the emulator's start, and what the emulator was started with:
# the un-elevated start (the desktop shell's token) passes default start-up information, the
# start through the shell asks for a hidden window. Wine 8 does not pass the shell's token on to
# the new process, so its token shows nothing of the difference.
print("== how the emulator was started")
logs = glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Roaming",
                              "txdownloader_en", "downloader.log"))
for path in logs:
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.rstrip("\r\n").split("\t")
            if len(fields) >= 5 and fields[3] in ("DownloaderModel::runPlayer",
                                                  "utility::process::shell", "EngineDriver"):
                print(f"  log: {fields[3]} {fields[4].split(':', 1)[-1]}")
shells = lines(os.path.join(world, "standins", "shell.jsonl"))
for shell in shells:
    print(f"  desktop shell: {shell.get('exePath')} (process {shell.get('processId')})")
for record in lines(os.path.join(world, "standins", "player.jsonl")):
    startup = record.get("startup", {})
    if startup.get("flags", 0) & 1 == 0:
        how = "with the desktop shell's token (CreateProcessWithTokenW, default start-up information)"
    elif startup.get("showWindow") == 0:
        how = "through the shell (ShellExecute, hidden window)"
    else:
        how = f"otherwise (start-up flags {startup.get('flags')}, show {startup.get('showWindow')})"
    print(f"  player (process {record.get('processId')}, parent {record.get('parentProcessId')}): "
          f"started {how}")
