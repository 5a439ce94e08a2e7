"""The real shell dialog under Wine, answered with xdotool as a user would: a file with a
non-ASCII name, cancel, a multiple selection of three, a folder, a save name.
  dialog_test.py PATH/TO/nfd_probe.exe"""
import os
import sys
import tempfile

import winetest

PROBE = sys.argv[1]
failures = []


def case(name):
    def wrap(body):
        try:
            body()
            print("ok    %s" % name, flush=True)
        except AssertionError as failure:
            failures.append(name)
            print("FAIL  %s: %s" % (name, failure), flush=True)
        return body
    return wrap


def run_dialog(op, title, text, key="Return", filters="png,jpg,tif,bmp", default=None, name=None):
    args = [op, filters] + ([default or "-"] if default or name else []) + ([name] if name else [])
    probe = winetest.start(PROBE, *args)
    try:
        window = winetest.wait_for_window(title, process=probe)
        winetest.type_into(window, text, key)
        out, err = winetest.finish(probe)
    finally:
        winetest.kill(probe)
    assert probe.returncode == 0, "probe status %s: %s" % (probe.returncode, err.decode(errors="replace"))
    lines = out.decode("utf-8").splitlines()
    fields = {}
    paths = []
    for line in lines:
        key_, _, value = line.partition("=")
        if key_ == "path":
            paths.append(value)
        else:
            fields[key_] = value
    return fields, paths


folder = tempfile.mkdtemp(prefix="vellumry dialog ")
names = ["caf\u00e9 \u00fcber.png", "b.png", "c.jpg", "a.bmp"]
for name in names:
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"not really a picture")
win = winetest.windows_path(folder)


@case("one file with a non-ASCII name")
def _():
    fields, paths = run_dialog("open", "^Open$", win + "\\" + names[0])
    assert fields["result"] == "1", fields
    assert paths == [win + "\\" + names[0]], paths


@case("cancel leaves the output and the error text as they were")
def _():
    fields, paths = run_dialog("open", "^Open$", None, key="Escape")
    assert fields["result"] == "2", fields
    assert fields.get("untouched") == "1" and not paths, (fields, paths)
    assert fields["error"] == "earlier message", fields


@case("a multiple selection of three, in selection order")
def _():
    chosen = [names[2], names[0], names[1]]
    typed = " ".join('"%s\\%s"' % (win, name) for name in chosen)
    fields, paths = run_dialog("files", "^Open$", typed)
    assert fields["result"] == "1", fields
    assert fields["first_offset"] == "0", fields
    assert sorted(paths) == sorted(win + "\\" + name for name in chosen), paths
    assert paths == [win + "\\" + name for name in chosen], "order: %s" % paths


@case("a folder")
def _():
    fields, paths = run_dialog("folder", "^Select Folder$", win, default=None)
    assert fields["result"] == "1", fields
    assert paths == [win], paths


@case("a save name, starting in a given folder")
def _():
    fields, paths = run_dialog("save", "^Save$", "new \u00e9t\u00e9.png", default=win)
    assert fields["result"] == "1", fields
    assert paths == [win + "\\new \u00e9t\u00e9.png"], paths


@case("a suggested non-ASCII name in a given folder, accepted as it stands")
def _():
    suggested = "caf\u00e9-painted \u65e5\u672c.png"
    fields, paths = run_dialog("saveas", "^Save$", None, filters="png;jpg,jpeg", default=win, name=suggested)
    assert fields["result"] == "1", fields
    assert paths == [win + "\\" + suggested], paths


@case("a suggested name with a folder in it is refused before the dialog shows")
def _():
    probe = winetest.start(PROBE, "saveas", "png", win, "sub\\x.png")
    out, err = winetest.finish(probe)
    lines = out.decode("utf-8").splitlines()
    assert lines[0] == "result=0", lines
    assert "error=The suggested file name is not a plain file name." in lines, lines


for name in names:
    os.remove(os.path.join(folder, name))
os.rmdir(folder)
sys.exit(1 if failures else 0)
