#!/usr/bin/env python3
"""The parts of a release that are text or archives, made the same way every
time so that the same commit gives the same bytes:

  package.py notes VERSION                     newest CHANGELOG.md entry as plain text
  package.py debian-changelog VERSION WHO      all entries as a Debian changelog
  package.py windows-text IN OUT VERSION [--bom]   CRLF text, @VERSION@ filled in
  package.py zip OUT EPOCH NAME=FILE...        a zip of these files, in this order

CHANGELOG.md entries start with "## VERSION (YYYY-MM-DD)"; the newest, first,
must be the version being released.
"""
import datetime
import pathlib
import re
import sys
import textwrap
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
HEADING = re.compile(r"^## (\S+) \((\d{4}-\d{2}-\d{2})\)$")


def entries():
    """[(version, date, [paragraph or "- item" texts])], newest first."""
    result = []
    for line in (ROOT / "CHANGELOG.md").read_text(encoding="utf-8").splitlines():
        heading = HEADING.match(line)
        if heading:
            result.append((heading.group(1), heading.group(2), []))
        elif result and line.strip():
            items = result[-1][2]
            if line.startswith("- ") or not items or items[-1] == "":
                items.append(line.strip())
            else:
                items[-1] += " " + line.strip()
        elif result:
            result[-1][2].append("")
    for _, _, items in result:
        items[:] = [item for item in items if item]
    return result


def newest(version):
    found = entries()
    if not found or found[0][0] != version:
        sys.exit(f"CHANGELOG.md: the newest entry is not {version}")
    return found[0]


def notes(version):
    _, date, items = newest(version)
    lines = [f"Pelmora {version} ({date})"]
    previous_bullet = False
    for item in items:
        bullet = item.startswith("- ")
        if not (bullet and previous_bullet):
            lines.append("")
        body = item[2:] if bullet else item
        lines += textwrap.wrap(body, 76, initial_indent="- " if bullet else "",
                               subsequent_indent="  " if bullet else "")
        previous_bullet = bullet
    return "\n".join(lines) + "\n"


def debian_changelog(version, maintainer):
    newest(version)
    out = []
    for entry_version, date, items in entries():
        out.append(f"pelmora ({entry_version}) unstable; urgency=medium")
        out.append("")
        for item in items:
            body = item[2:] if item.startswith("- ") else item
            out += textwrap.wrap(body, 78, initial_indent="  * ", subsequent_indent="    ")
        day = datetime.datetime.strptime(date, "%Y-%m-%d").replace(tzinfo=datetime.timezone.utc)
        out.append("")
        out.append(f" -- {maintainer}  {day.strftime('%a, %d %b %Y %H:%M:%S +0000')}")
        out.append("")
    return "\n".join(out)


def windows_text(source, target, version, bom):
    text = pathlib.Path(source).read_text(encoding="utf-8").replace("@VERSION@", version)
    data = text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")
    pathlib.Path(target).write_bytes((b"\xef\xbb\xbf" if bom else b"") + data)


def make_zip(target, epoch, members):
    # Zip times are local times without a zone: the commit's time in UTC.
    stamp = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).timetuple()[:6]
    with zipfile.ZipFile(target, "w") as archive:
        for member in members:
            name, _, source = member.partition("=")
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS attributes, as Windows writes them
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            archive.writestr(info, pathlib.Path(source).read_bytes(), compresslevel=9)


def main(args):
    command = args[0] if args else ""
    if command == "notes" and len(args) == 2:
        sys.stdout.write(notes(args[1]))
    elif command == "debian-changelog" and len(args) == 3:
        sys.stdout.write(debian_changelog(args[1], args[2]))
    elif command == "windows-text" and len(args) in (4, 5) and args[4:] in ([], ["--bom"]):
        windows_text(args[1], args[2], args[3], len(args) == 5)
    elif command == "zip" and len(args) >= 4:
        make_zip(args[1], args[2], args[3:])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
