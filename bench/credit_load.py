#!/usr/bin/env python3
"""Load on the credit server: eight onlookers (another account: needs root) query as fast as
they can, the game's one connection sends money commands and queries, and the operator inserts
and collects with the quibblo-credit commands, all at once, on a fresh ledger. Reports throughput and latency per kind, then checks that the ledger balances (status
equals the sum of the journal, each row starting where the one before ended) and that every
acknowledged command is in the journal exactly once and nothing refused is.

    nice -n 19 bench/credit_load.py                  # 60 seconds
    nice -n 19 bench/credit_load.py --seconds 5 --json

Port 6667 is fixed: where a network namespace can be made the run takes one of its own
(tests/e2e/isolated), so it never meets a running cabinet; --shared-network runs it as is.
Exit code 0 when every check holds, 1 otherwise.
"""
import argparse
import collections
import json
import multiprocessing
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.normpath(os.path.join(HERE, ".."))
PORT = 6667
QUERY_CLIENTS = 8 if os.geteuid() == 0 else 0
MONEY_CLIENTS = 1  # the server lets one game connection in at a time
ONLOOKER_UID = 65534
MONEY_COMMANDS = ("CUSE", "BADD", "CADD")
REPLY_TAG = {"CGET": b"CTEL", "BGET": b"BTEL", "CUSE": b"CTEL", "BADD": b"BTEL", "CADD": b"CTEL"}


class Link:
    """One client connection; a reply is one line ending in CR LF."""

    def __init__(self, uid=None):
        if uid is not None:
            os.seteuid(uid)  # the socket is that account's (this process only makes sockets)
        self.sock = socket.create_connection(("127.0.0.1", PORT), timeout=30)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.pending = b""

    def ask(self, request):
        self.sock.sendall(request)
        while b"\r\n" not in self.pending:
            data = self.sock.recv(4096)
            if not data:
                raise ConnectionError("server closed the connection")
            self.pending += data
        line, self.pending = self.pending.split(b"\r\n", 1)
        return line

    def close(self):
        try:
            self.sock.sendall(b"TERM\r\n")
        except OSError:
            pass
        self.sock.close()


def run_queries(index, stop_at, out):
    link = Link(ONLOOKER_UID)
    latencies = {"CGET": [], "BGET": []}
    errors = []
    n = 0
    while time.monotonic() < stop_at:
        verb = "CGET" if n % 2 == 0 else "BGET"
        n += 1
        started = time.perf_counter_ns()
        try:
            reply = link.ask(verb.encode() + b"\r\n")
        except OSError as e:
            errors.append("%s: %s" % (verb, e))
            break
        latencies[verb].append(time.perf_counter_ns() - started)
        tag, _, value = reply.partition(b",")
        if tag != REPLY_TAG[verb] or not value.isdigit() or int(value) > 9999:
            errors.append("%s answered %r" % (verb, reply))
    link.close()
    out.put(("query", index, latencies, [], errors))


def run_money(index, stop_at, out):
    rng = random.Random(1000 + index)
    link = Link()
    latencies = {verb: [] for verb in MONEY_COMMANDS + ("CGET", "BGET")}
    sent = []  # (command, amount, acknowledged)
    errors = []
    while time.monotonic() < stop_at:
        verb = rng.choice(MONEY_COMMANDS)
        amount = rng.randint(1, 400)
        started = time.perf_counter_ns()
        try:
            reply = link.ask(b"%s,%d\r\n" % (verb.encode(), amount))
        except OSError as e:
            errors.append("%s,%d: %s (outcome unknown)" % (verb, amount, e))
            break
        latencies[verb].append(time.perf_counter_ns() - started)
        tag, _, value = reply.partition(b",")
        if tag == REPLY_TAG[verb] and value.isdigit():
            sent.append((verb, amount, True))
        elif reply in (b"FAIL,insufficient credit", b"FAIL,payout limit reached"):
            sent.append((verb, amount, False))  # refused by the rules: must leave no trace
        else:
            errors.append("%s,%d answered %r" % (verb, amount, reply))
        query = "CGET" if verb == "CUSE" or verb == "CADD" else "BGET"  # as the game reads back
        started = time.perf_counter_ns()
        try:
            reply = link.ask(query.encode() + b"\r\n")
        except OSError as e:
            errors.append("%s: %s" % (query, e))
            break
        latencies[query].append(time.perf_counter_ns() - started)
        if not reply.startswith(REPLY_TAG[query] + b","):
            errors.append("%s answered %r" % (query, reply))
    link.close()
    out.put(("money", index, latencies, sent, errors))


def run_operator(binary, db, stop_at, out):
    rng = random.Random(7)
    latencies = {"insert": [], "collect": []}
    done = []  # (command, amount, acknowledged)
    errors = []
    n = 0
    while time.monotonic() < stop_at:
        command = "insert" if n % 2 == 0 else "collect"
        n += 1
        args = [binary, command] + ([str(rng.randint(1, 600))] if command == "insert" else ["--json"]) + ["--db", db]
        started = time.perf_counter_ns()
        r = subprocess.run(args, capture_output=True, text=True, timeout=60)
        latencies[command].append(time.perf_counter_ns() - started)
        if command == "insert":
            amount = int(args[2])
            if r.returncode == 0:
                done.append(("insert", amount, True))
            elif "exceed 9999" in r.stderr:
                done.append(("insert", amount, False))
            else:
                errors.append("insert %d: exit %d %s" % (amount, r.returncode, r.stderr.strip()))
        elif r.returncode == 0:
            done.append(("collect", json.loads(r.stdout)["paid"], True))
        else:
            errors.append("collect: exit %d %s" % (r.returncode, r.stderr.strip()))
    out.put(("operator", 0, latencies, done, errors))


def percentile(values, p):
    if not values:
        return 0.0
    values = sorted(values)
    return values[min(len(values) - 1, int(len(values) * p / 100.0))] / 1e6


def figures(latencies, seconds):
    return {"count": len(latencies), "per_second": round(len(latencies) / seconds, 1),
            "p50_ms": round(percentile(latencies, 50), 3), "p99_ms": round(percentile(latencies, 99), 3),
            "max_ms": round(percentile(latencies, 100), 3)}


def check_ledger(binary, db, acknowledged, refused):
    """The problems found in the ledger after the run; empty when it is right."""
    def operator(*args):
        r = subprocess.run([binary, *args, "--db", db, "--json"], capture_output=True, text=True, timeout=120)
        if r.returncode != 0:
            raise RuntimeError("quibblo-credit %s: %s" % (args[0], r.stderr))
        return json.loads(r.stdout)

    status = operator("status")
    rows = operator("ledger")
    problems = []
    keys = (("credit", "credit"), ("bank", "bank"), ("payout_due", "payout_due"))
    for name, field in keys:
        total = sum(row[field + "_after"] - row[field + "_before"] for row in rows)
        if total != status[name]:
            problems.append("%s is %d but the journal sums to %d" % (name, status[name], total))
    previous = {field: 0 for _, field in keys}
    for i, row in enumerate(rows):
        before = {field: row[field + "_before"] for _, field in keys}
        if before != previous:
            problems.append("journal row %d starts at %s, the row before ended at %s" % (i, before, previous))
            break
        previous = {field: row[field + "_after"] for _, field in keys}
    journal = collections.Counter((row["source"], row["command"], row["amount"]) for row in rows)
    for key in set(journal) | set(acknowledged):
        if journal[key] != acknowledged[key]:
            problems.append("%s %s %d: acknowledged %d times, in the journal %d times"
                            % (key + (acknowledged[key], journal[key])))
    return status, len(rows), problems


def start_server(binary, db, workdir):
    proc = subprocess.Popen([binary, "serve", "--db", db], cwd=workdir,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    end = time.time() + 10
    while time.time() < end:
        if proc.poll() is not None:
            raise RuntimeError("credit server ended: %s" % proc.stderr.read().decode())
        try:
            socket.create_connection(("127.0.0.1", PORT), timeout=0.2).close()
            return proc
        except OSError:
            time.sleep(0.05)
    proc.kill()
    raise RuntimeError("credit server did not start")


def run(binary, seconds, start_credit):
    workdir = tempfile.mkdtemp(prefix="quibblo-credit-load-")
    db = os.path.join(workdir, "credit.db")
    server = None
    try:
        if subprocess.run([binary, "insert", str(start_credit), "--create", "--db", db], capture_output=True).returncode:
            raise RuntimeError("cannot insert the starting credit")
        server = start_server(binary, db, workdir)
        out = multiprocessing.Queue()
        stop_at = time.monotonic() + 1.0 + seconds  # a second to start every client
        workers = [multiprocessing.Process(target=run_queries, args=(i, stop_at, out)) for i in range(QUERY_CLIENTS)]
        workers += [multiprocessing.Process(target=run_money, args=(i, stop_at, out)) for i in range(MONEY_CLIENTS)]
        workers.append(multiprocessing.Process(target=run_operator, args=(binary, db, stop_at, out)))
        started = time.monotonic()
        for w in workers:
            w.start()
        results = [out.get(timeout=seconds + 300) for _ in workers]
        for w in workers:
            w.join()
        elapsed = stop_at - started  # every client works until stop_at

        server.send_signal(signal.SIGTERM)
        server_code = server.wait(30)
        server.stderr.close()
        server = None

        latencies = collections.defaultdict(list)
        acknowledged = collections.Counter({("operator", "insert", start_credit): 1})
        refused = collections.Counter()
        errors = []
        for kind, _, lat, done, errs in results:
            for verb, values in lat.items():
                latencies[verb] += values
            source = "operator" if kind == "operator" else "game"
            for command, amount, ok in done:
                if command == "collect" and amount == 0:
                    continue  # nothing to collect: nothing is written
                (acknowledged if ok else refused)[(source, command, amount)] += 1
            errors += errs
        if server_code != 0:
            errors.append("server exit code %d after SIGTERM" % server_code)
        status, rows, problems = check_ledger(binary, db, acknowledged, refused)

        kinds = {verb: figures(latencies[verb], elapsed) for verb in ("CGET", "BGET") + MONEY_COMMANDS + ("insert", "collect")}
        queries = latencies["CGET"] + latencies["BGET"]
        money = sum((latencies[v] for v in MONEY_COMMANDS), [])
        return {
            "seconds": round(elapsed, 1),
            "load_average": os.getloadavg()[0],
            "queries": figures(queries, elapsed),
            "money_commands": figures(money, elapsed),
            "operator": figures(latencies["insert"] + latencies["collect"], elapsed),
            "kinds": kinds,
            "acknowledged": sum(acknowledged.values()),
            "refused": sum(refused.values()),
            "journal_rows": rows,
            "final_status": status,
            "errors": errors[:20],
            "ledger_problems": problems[:20],
            "ok": not errors and not problems,
        }
    finally:
        if server is not None:
            server.kill()
            server.wait()
        shutil.rmtree(workdir, ignore_errors=True)


def report(r):
    print("credit server load: %.1f s, %d query clients, %d money clients, 1 operator (load average %.1f)"
          % (r["seconds"], QUERY_CLIENTS, MONEY_CLIENTS, r["load_average"]))
    print("%-16s %9s %9s %9s %9s %9s" % ("kind", "count", "per s", "p50 ms", "p99 ms", "max ms"))
    rows = [("queries", r["queries"]), ("money commands", r["money_commands"]), ("operator", r["operator"])]
    rows += [("  " + k, v) for k, v in r["kinds"].items()]
    for name, f in rows:
        print("%-16s %9d %9.1f %9.3f %9.3f %9.3f" % (name, f["count"], f["per_second"], f["p50_ms"], f["p99_ms"], f["max_ms"]))
    print("acknowledged money movements: %d, refused: %d, journal rows: %d, final %s"
          % (r["acknowledged"], r["refused"], r["journal_rows"], r["final_status"]))
    for e in r["errors"]:
        print("error:", e)
    for p in r["ledger_problems"]:
        print("ledger:", p)
    print("ledger balanced, every acknowledged command in it exactly once" if r["ok"] else "FAILED")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--bin", default=os.environ.get("QUIBBLO_BIN", os.path.join(SOURCE, "build", "bin")))
    parser.add_argument("--credit", type=int, default=5000, help="credit inserted before the run")
    parser.add_argument("--json", action="store_true", help="print the figures as one JSON object")
    parser.add_argument("--shared-network", action="store_true", help="do not take a network namespace")
    a = parser.parse_args()
    if not a.shared_network and not os.environ.get("QUIBBLO_LOAD_ISOLATED"):
        isolated = os.path.join(SOURCE, "tests", "e2e", "isolated")
        if subprocess.run([isolated, "true"], capture_output=True).returncode == 0:
            env = dict(os.environ, QUIBBLO_LOAD_ISOLATED="1")
            os.execvpe(isolated, [isolated, sys.executable, os.path.abspath(__file__)] + sys.argv[1:], env)
    r = run(os.path.abspath(os.path.join(a.bin, "quibblo-credit")), a.seconds, a.credit)
    if a.json:
        print(json.dumps(r))
    else:
        report(r)
    return 0 if r["ok"] else 1


if __name__ == "__main__":
    sys.exit(main())
