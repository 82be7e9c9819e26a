#!/usr/bin/env python3
"""Writes the upload form as other encoders make it, for the form parser's
tests: Python's requests (python3-requests) and its email package. Each file
holds the request's Content-Type on its first line, then the body's bytes.

The measurement is the same in every file: 2 events at (0.5 s, 3) and
(2.25 s, 1), tag "Grenier été ☢", at -33.8688, 151.2093.

Run: python3 tests/collect/forms/make-forms.py tests/collect/forms
"""
import email.charset
import email.policy
import pathlib
import sys
from email.mime.multipart import MIMEMultipart
from email.mime.text import MIMEText

import requests

FIELDS = [
    ("startDate", "1300000000.250000"),
    ("stopDate", "1300000036.250000"),
    ("udid", "0f1e2d3c4b5a69788796a5b4c3d2e1f00f1e2d3c4b5a69788796a5b4c3d2e1f0"),
    ("tag", "Grenier été ☢"),
    ("latitude", "-33.868800"),
    ("longitude", "151.209300"),
    ("radiationEvents", "0.500000|3|2.250000|1"),
]
URL = "http://collect.example/clients/Kesto/addRadioactivityHistory.php"


def write(folder, name, content_type, body):
    (folder / name).write_bytes(content_type.encode() + b"\n" + body)


def with_requests(folder):
    # Plain fields (no file name, no type), as requests writes (None, value).
    files = {name: (None, value) for name, value in FIELDS}
    prepared = requests.Request("POST", URL, files=files).prepare()
    write(folder, "requests-fields.form", prepared.headers["Content-Type"], prepared.body)
    # The events sent as a file with its own type; the rest as data fields.
    data = dict(FIELDS[:-1])
    events = {"radiationEvents": ("events.txt", FIELDS[-1][1], "text/plain; charset=utf-8")}
    prepared = requests.Request("POST", URL, data=data, files=events).prepare()
    write(folder, "requests-file.form", prepared.headers["Content-Type"], prepared.body)


def with_email(folder, name, charset):
    message = MIMEMultipart("form-data")
    message.preamble = "This is a multi-part message."
    for field, value in FIELDS:
        part = MIMEText(value, "plain", charset)
        part.add_header("Content-Disposition", "form-data", name=field)
        message.attach(part)
    raw = message.as_bytes(policy=email.policy.HTTP)
    headers, _, body = raw.partition(b"\r\n\r\n")
    content_type = [line for line in headers.decode().split("\r\n")
                    if line.lower().startswith("content-type:")][0].split(":", 1)[1].strip()
    write(folder, name, content_type, body)


def main():
    folder = pathlib.Path(sys.argv[1])
    with_requests(folder)
    with_email(folder, "email-base64.form", "utf-8")  # base64 bodies
    quoted = email.charset.Charset("utf-8")
    quoted.body_encoding = email.charset.QP
    with_email(folder, "email-quoted-printable.form", quoted)


if __name__ == "__main__":
    main()
