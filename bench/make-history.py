#!/usr/bin/env python3
"""Writes a history file of RECORDS saved measurements x EVENTS events each
(plistlib, the published XML property-list form), for load measurements."""
import datetime
import plistlib
import random
import sys

path, records, events = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rng = random.Random(1)
start = datetime.datetime(2011, 3, 13, 7, 6, 40)
history = []
for i in range(records):
    t, radion = 0.0, []
    for _ in range(events):
        t += rng.random() * 3
        radion.append({"timeInterval": t, "numberOfParticules": rng.randint(1, 12)})
    begin = start + datetime.timedelta(seconds=1000 * i)
    history.append({
        "udid": "0123456789abcdef0123456789abcdef01234567",
        "tag": "Mesure %d" % i,
        "startDate": begin,
        "stopDate": begin + datetime.timedelta(seconds=int(t) + 1),
        "latitude": 48.8 + rng.random(),
        "longitude": 2.3 - 4 * rng.random(),
        "radionEvents": radion,
    })
history.reverse()  # newest first
with open(path, "wb") as f:
    plistlib.dump(history, f)
