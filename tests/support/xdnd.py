"""A drag-and-drop source on the X display, speaking XDND version 5 like a file manager does.

    source = DragSource()
    answer = source.drop_uris(["file:///tmp/a%20b.png"], x, y)   # root coordinates
    assert answer.accepted and answer.finished

What one drop does, in the order a real drag does it: grab the pointer (a drag holds it, so the
window under it sees no pointer motion), move the pointer to (x, y) as a device would (XTest),
find the XdndAware window under it, own the XdndSelection, send XdndEnter (the offered types),
XdndPosition (the point, action copy), wait for XdndStatus, send XdndDrop, answer the target's
SelectionRequest with the data, wait for XdndFinished, let the pointer go.

Needs python3-xlib (Debian's /usr/bin/python3). Every wait has a deadline.
"""
import time

from Xlib import X, Xatom, display
from Xlib.ext import xtest
from Xlib.protocol import event

XDND_VERSION = 5


class DropAnswer:
    def __init__(self):
        self.target = None       # the XdndAware window found under the pointer
        self.accepted = False    # XdndStatus said it would take the drop
        self.finished = False    # XdndFinished arrived
        self.finished_ok = False  # ... saying the drop was taken
        self.requested = []      # the types the target asked for


class DragSource:
    def __init__(self):
        self.d = display.Display()
        self.root = self.d.screen().root
        # An unmapped window of our own: owns the selection and receives the target's replies.
        self.window = self.root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, X.InputOutput)
        atom = lambda name: self.d.intern_atom(name)
        self.atoms = {name: atom(name) for name in (
            "XdndAware", "XdndEnter", "XdndPosition", "XdndStatus", "XdndDrop", "XdndFinished", "XdndLeave",
            "XdndSelection", "XdndActionCopy", "XdndTypeList", "text/uri-list", "text/plain")}

    def close(self):
        self.d.close()

    # -- finding the target -------------------------------------------------------------------
    def aware_window_at(self, x, y):
        """The deepest XdndAware window on the path from the root to the point, or None."""
        found = None
        window = self.root
        while True:
            reply = window.translate_coords(self.root, x, y)
            child = reply.child
            if not child or child == X.NONE:
                break
            window = child
            prop = window.get_full_property(self.atoms["XdndAware"], X.AnyPropertyType)
            if prop is not None:
                found = window
        return found

    # -- the exchange ---------------------------------------------------------------------------
    def _send(self, target, kind, data):
        message = event.ClientMessage(window=target, client_type=self.atoms[kind], data=(32, data))
        target.send_event(message, event_mask=0)
        self.d.flush()

    def _next_event(self, deadline):
        while time.monotonic() < deadline:
            if self.d.pending_events():
                return self.d.next_event()
            time.sleep(0.01)
        return None

    def drop(self, payloads, x, y, timeout=120.0):
        """Drops data offered as {type name: bytes} at root (x, y); returns a DropAnswer."""
        answer = DropAnswer()
        types = [self.atoms[name] if name in self.atoms else self.d.intern_atom(name) for name in payloads]
        by_atom = dict(zip(types, payloads.values()))
        status = self.root.grab_pointer(False, X.ButtonPressMask | X.ButtonReleaseMask | X.PointerMotionMask,
                                        X.GrabModeAsync, X.GrabModeAsync, X.NONE, X.NONE, X.CurrentTime)
        if status != X.GrabSuccess:
            raise AssertionError(f"could not grab the pointer ({status})")
        try:
            xtest.fake_input(self.d, X.MotionNotify, x=x, y=y)
            self.d.sync()
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                pointer = self.root.query_pointer()
                if (pointer.root_x, pointer.root_y) == (x, y):
                    break
                time.sleep(0.02)
            target = self.aware_window_at(x, y)
            if target is None:
                raise AssertionError(f"no XdndAware window at {x},{y}")
            answer.target = target.id
            self.window.set_selection_owner(self.atoms["XdndSelection"], X.CurrentTime)
            if len(types) > 3:
                self.window.change_property(self.atoms["XdndTypeList"], Xatom.ATOM, 32, types)
            listed = (types + [0, 0, 0])[:3]
            self._send(target, "XdndEnter",
                       [self.window.id, (XDND_VERSION << 24) | (1 if len(types) > 3 else 0), *listed])
            self._send(target, "XdndPosition",
                       [self.window.id, 0, (x << 16) | y, X.CurrentTime, self.atoms["XdndActionCopy"]])
            dropped = False
            while not answer.finished:
                ev = self._next_event(deadline)
                if ev is None:
                    raise AssertionError("the target did not finish the drop in time")
                if ev.type == X.ClientMessage and ev.client_type == self.atoms["XdndStatus"]:
                    answer.accepted = bool(ev.data[1][1] & 1)
                    if not dropped:
                        dropped = True
                        if answer.accepted:
                            self._send(target, "XdndDrop", [self.window.id, 0, X.CurrentTime, 0, 0])
                        else:
                            self._send(target, "XdndLeave", [self.window.id, 0, 0, 0, 0])
                            break
                elif ev.type == X.ClientMessage and ev.client_type == self.atoms["XdndFinished"]:
                    answer.finished = True
                    answer.finished_ok = bool(ev.data[1][1] & 1)
                elif ev.type == X.SelectionRequest:
                    self._answer_request(ev, by_atom, answer)
        finally:
            self.d.ungrab_pointer(X.CurrentTime)
            self.d.sync()
        return answer

    def _answer_request(self, request, by_atom, answer):
        answer.requested.append(self.d.get_atom_name(request.target))
        data = by_atom.get(request.target)
        prop = request.property if request.property != X.NONE else request.target
        if data is not None:
            request.requestor.change_property(prop, request.target, 8, data)
        else:
            prop = X.NONE
        notify = event.SelectionNotify(time=request.time, requestor=request.requestor, selection=request.selection,
                                       target=request.target, property=prop)
        request.requestor.send_event(notify, event_mask=0)
        self.d.flush()

    def drop_uris(self, uris, x, y, **kwargs):
        """A file manager's drop: text/uri-list, lines ending in CR LF."""
        data = "".join(u + "\r\n" for u in uris).encode("utf-8")
        return self.drop({"text/uri-list": data}, x, y, **kwargs)


def file_uri(path):
    """A file:// URI with everything but unreserved characters and / percent-encoded (UTF-8)."""
    from urllib.parse import quote
    return "file://" + quote(path, safe="/")
