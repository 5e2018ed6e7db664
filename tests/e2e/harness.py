"""End-to-end harness: runs the real programs in a temporary working directory.

A Cabinet is a working directory with the data tree (made by quibblo-assets, shared read-only
between cabinets), a peer on 127.0.0.1:6667 (a real quibblo-credit server, a recording
listener, or nothing) and the game run headless on the virtual clock from a touch script.

    with Cabinet(server="real", credit=500) as cab:
        r = cab.run("1000 touch 400 300\\n5000 shot a.png\\n")
        r.code, r.log, r.shots["a.png"], cab.status(), cab.ledger()
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.environ.get("QUIBBLO_SOURCE", os.path.normpath(os.path.join(HERE, "..", "..")))
BIN = os.environ.get("QUIBBLO_BIN", os.path.join(SOURCE, "build", "bin"))
PORT = 6667
LOG = os.path.join("~system", "logs", "Quibblo.txt")


def program(name):
    return os.path.join(BIN, name)


def built(name):
    """False when the program is the "not built yet" stand-in. A program missing from the
    build is an error, not a reason to skip."""
    path = program(name)
    if not os.path.exists(path):
        raise FileNotFoundError(path)
    r = subprocess.run([path, "--help"], capture_output=True, text=True, timeout=30)
    return "not built yet" not in r.stderr


def read_file(path, mode="r"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "latin-1"})) as f:
        return f.read()


def signed(code):
    """The exit code as the program returned it (-6 arrives as 250)."""
    return code - 256 if code > 127 else code


def wait_port_free(timeout=10.0):
    end = time.time() + timeout
    while time.time() < end:
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", PORT))
            return
        except OSError:
            time.sleep(0.05)
        finally:
            s.close()
    raise RuntimeError("port %d stays busy" % PORT)


def owned_socket(uid=None):
    """A TCP socket that belongs to the account `uid` (as the kernel reports its owner; making
    one for another account needs root), or to ours."""
    if uid is None:
        return socket.socket()
    os.seteuid(uid)
    try:
        return socket.socket()
    finally:
        os.seteuid(0)


class Listener:
    """A fake credit server: records every byte and answers each request line with reply(line)."""

    def __init__(self, reply=None, uid=None):
        self.reply = reply or self.default_reply
        self.received = b""
        self.connections = 0
        self._lock = threading.Lock()
        self._sock = owned_socket(uid)
        self._sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._sock.bind(("127.0.0.1", PORT))
        self._sock.listen(8)
        self._stop = False
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    @staticmethod
    def default_reply(line):
        if line == b"CGET":
            return b"CTEL,0\r\n"
        if line == b"BGET":
            return b"BTEL,0\r\n"
        return b"FAIL,refused\r\n"

    def _serve(self):
        self._sock.settimeout(0.1)
        while not self._stop:
            try:
                conn, _ = self._sock.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            self.connections += 1
            threading.Thread(target=self._talk, args=(conn,), daemon=True).start()

    def _talk(self, conn):
        pending = b""
        conn.settimeout(0.2)
        while not self._stop:
            try:
                data = conn.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                break
            if not data:
                break
            with self._lock:
                self.received += data
            pending += data
            while b"\r\n" in pending:
                line, pending = pending.split(b"\r\n", 1)
                if line == b"TERM":
                    continue
                with self._lock:
                    answer = self.reply(line)
                if answer == "drop":  # a reply of "drop" hangs up instead of answering
                    conn.close()
                    return
                if answer:
                    conn.sendall(answer)
        conn.close()

    def close(self):
        self._stop = True
        self._sock.close()
        self._thread.join(2)


class CreditServer:
    """A real quibblo-credit server on its own ledger file."""

    def __init__(self, workdir, db="credit.db", args=(), **popen):
        self.workdir = workdir
        self.db = os.path.join(workdir, db)
        self.proc = subprocess.Popen([program("quibblo-credit"), "serve", "--db", self.db, *args], cwd=workdir,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, **popen)
        end = time.time() + 10
        while time.time() < end:
            if self.proc.poll() is not None:
                raise RuntimeError("credit server ended: %s" % self.proc.stderr.read().decode())
            try:
                socket.create_connection(("127.0.0.1", PORT), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("credit server did not start")

    def operator(self, *args):
        r = subprocess.run([program("quibblo-credit"), *args, "--db", self.db], cwd=self.workdir,
                           capture_output=True, text=True, timeout=30)
        if r.returncode != 0:
            raise RuntimeError("quibblo-credit %s: %s" % (" ".join(args), r.stderr))
        return r.stdout

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for stream in (self.proc.stdout, self.proc.stderr):
            stream.close()


_data_tree = None


def data_tree():
    """One generated data tree per test process, or None while quibblo-assets is not built."""
    global _data_tree
    if _data_tree is None:
        if not built("quibblo-assets"):
            return None
        _data_tree = tempfile.mkdtemp(prefix="quibblo-data-")
        subprocess.run([program("quibblo-assets"), "--out", _data_tree], check=True, timeout=300,
                       capture_output=True)
    return _data_tree


class Result:
    def __init__(self, code, stdout, stderr, workdir):
        self.code = signed(code)
        self.stdout = stdout
        self.stderr = stderr
        self.workdir = workdir

    @property
    def log(self):
        path = os.path.join(self.workdir, LOG)
        return read_file(path) if os.path.exists(path) else None

    @property
    def shots(self):
        out = {}
        for name in os.listdir(self.workdir):
            # the data tree's own pictures are linked in; shots are the files the game wrote
            if name.endswith(".png") and not os.path.islink(os.path.join(self.workdir, name)):
                out[name] = read_file(os.path.join(self.workdir, name), "rb")
        return out


class Cabinet:
    """server: "real", "listener" or None. assets: link the generated data tree in."""

    def __init__(self, server="listener", assets=True, credit=0, reply=None, keep=False):
        self.server_kind = server
        self.assets = assets
        self.credit = credit
        self.reply = reply
        self.keep = keep
        self.listener = None
        self.server = None

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="quibblo-cab-")
        if self.assets:
            tree = data_tree()
            if tree:
                for name in os.listdir(tree):
                    os.symlink(os.path.join(tree, name), os.path.join(self.dir, name))
        wait_port_free()
        if self.server_kind == "listener":
            self.listener = Listener(self.reply)
        elif self.server_kind == "real":
            self.server = CreditServer(self.dir)
            if self.credit:
                self.server.operator("insert", str(self.credit))
        return self

    def __exit__(self, *exc):
        self.stop_server()
        if not self.keep:
            shutil.rmtree(self.dir, ignore_errors=True)

    def stop_server(self):
        if self.listener:
            self.listener.close()
        if self.server:
            self.server.stop()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def run(self, script=None, args=None, timeout=600, virtual_clock=True, env=None):
        cmd = [program("quibblo"), "--headless"]
        if virtual_clock:
            cmd.append("--virtual-clock")
        if script is not None:
            with open(self.path("touches.txt"), "w") as f:
                f.write(script)
            cmd += ["--touches", "touches.txt"]
        cmd += args or []
        r = subprocess.run(cmd, cwd=self.dir, capture_output=True, timeout=timeout,
                           env=dict(os.environ, **(env or {})))
        return Result(r.returncode, r.stdout.decode("latin-1"), r.stderr.decode("latin-1"), self.dir)

    def status(self):
        return json.loads(self.server.operator("status", "--json"))

    def ledger(self):
        return json.loads(self.server.operator("ledger", "--json"))


def needs(*programs):
    """Skips a test until the programs it drives are built."""
    missing = [p for p in programs if not built(p)]
    return unittest.skipIf(missing, "not built yet: " + ", ".join(missing))
