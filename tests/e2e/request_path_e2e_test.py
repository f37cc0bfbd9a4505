"""Whole-system tests of hostile requests: the installed service in front of
a web server of the tests that records every request it is given."""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from service_e2e_test import DIST, OSTRUM, SVCCTL, free_port, wait_for  # noqa: E402  (takes the program arguments)

RULES = (
    'RAWRULE  "1,arg,normal,regex,log"  "union\\s+select"\r\n'
    'RAWRULE  "2,agent,normal,find,log"  "sqlmap"\r\n'
    'RAWRULE  "3,referer,normal,find,log"  "<script"\r\n'
)
FIELDS = 11  # date time cip dip dport host method pos rid action url
ATTACK = "1%20union%20select%201"


class WebServer:
    """Answers every request with 200 and keeps the raw bytes it read."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.received = []
        self.lock = threading.Lock()
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        with conn:
            data = b""
            try:
                while b"\r\n\r\n" not in data:
                    chunk = conn.recv(65536)
                    if not chunk:
                        return
                    data += chunk
                head = data.split(b"\r\n\r\n", 1)[0]
                length = re.search(rb"(?im)^content-length:\s*(\d+)", head)
                want = len(head) + 4 + (int(length.group(1)) if length else 0)
                while len(data) < want:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    data += chunk
                with self.lock:
                    self.received.append(data)
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")
            except OSError:
                pass

    def saw(self, token):
        with self.lock:
            return any(token.encode() in request for request in self.received)

    def close(self):
        self.listener.close()


class Installation:
    """A program folder with its own registry, rules and web server."""

    def __init__(self, settings):
        self.root = tempfile.mkdtemp(prefix="ostrum-e2e-path-")
        self.app = os.path.join(self.root, "app")
        shutil.copytree(DIST, self.app)
        os.makedirs(os.path.join(self.app, "log"))
        for program in (OSTRUM, SVCCTL):
            shutil.copy(program, self.app)
        self.env = dict(os.environ, OSTRUM_SVC_ROOT=os.path.join(self.root, "registry"))
        self.web = WebServer()
        self.port = free_port()
        with open(os.path.join(self.app, "ostrum.cfg"), "a") as cfg:
            cfg.write(f"filt_http_port={self.port}\nblock_when_conn=0\n{settings}")
        with open(os.path.join(self.app, "RAWRULE.dat"), "w", newline="") as f:
            f.write(RULES)
        with open(os.path.join(self.app, "JIPRULE.dat"), "w", newline="") as f:
            f.write("")
        with open(os.path.join(self.app, "netfilter2", "netfilter.ini"), "w") as f:
            f.write(f"[upstream]\n{self.port}=127.0.0.1:{self.web.port}\n"
                    "[setting]\nlisten=127.0.0.1\nthreads=2\n")

    def run(self, program, *args):
        return subprocess.run([f"./{program}", *args], cwd=self.app, env=self.env,
                              capture_output=True, text=True, timeout=60).stdout

    def log(self, stem):
        folder = os.path.join(self.app, "log")
        names = sorted(n for n in os.listdir(folder) if n.startswith(stem))
        if not names:
            return b""
        with open(os.path.join(folder, names[-1]), "rb") as f:
            return f.read()

    def records(self):
        lines = self.log("attack").split(b"\r\n")
        return [l for l in lines if l and not l.startswith(b"#")]

    def pid(self):
        program = os.path.realpath(os.path.join(self.app, "ostrum"))
        for entry in os.listdir("/proc"):
            try:
                if entry.isdigit() and os.readlink(f"/proc/{entry}/exe") == program:
                    return int(entry)
            except OSError:
                continue
        return None

    def resident_kib(self):
        with open(f"/proc/{self.pid()}/status") as f:
            return int(re.search(r"VmRSS:\s*(\d+)", f.read()).group(1))

    def start(self):
        self.run("ostrum", "-i")
        self.run("svcctl", "start", "Ostrum")
        assert wait_for(lambda: b"ostrum start!" in self.log("ostrum.log")), self.log("ostrum.log")

    def close(self):
        self.run("svcctl", "stop", "Ostrum")
        self.run("ostrum", "-u")
        self.web.close()
        shutil.rmtree(self.root, ignore_errors=True)

    def send(self, data):
        """Sends raw bytes, reads until the peer closes or stays silent."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=30) as s:
            s.sendall(data)
            s.settimeout(10)
            answer = b""
            try:
                while chunk := s.recv(65536):
                    answer += chunk
            except (socket.timeout, ConnectionResetError):
                pass
            return answer

    def request(self, method, target, headers="", body=b""):
        head = f"{method} {target} HTTP/1.1\r\n{headers}Connection: close\r\n"
        if body:
            head += f"Content-Length: {len(body)}\r\n"
        return self.send((head + "\r\n").encode("latin-1") + body)


class Inspection(unittest.TestCase):
    """Each attack carries a token in its path: whatever reached the web
    server must have its attack record."""

    @classmethod
    def setUpClass(cls):
        cls.site = Installation("run_mod=2\nuse_utf8=1\n")
        cls.site.start()

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def assertRecorded(self, token, label, written=None):
        site = self.site
        written = (written or token).encode()
        self.assertTrue(site.web.saw(token), token)
        self.assertTrue(wait_for(lambda: any(written in r and f" {label} ".encode() in r
                                             for r in site.records())), token)

    def test_every_cookie_and_agent_line_is_inspected(self):
        host = "Host: h\r\n"
        self.site.request("GET", "/cookie1", host + f"Cookie: a=1\r\nCookie: b={ATTACK}\r\n")
        self.assertRecorded("/cookie1", "cookie")
        self.site.request("GET", "/agent1", host + "User-Agent: curl\r\nUser-Agent: sqlmap\r\n")
        self.assertRecorded("/agent1", "agent")
        self.site.request("GET", "/referer1", host + "Referer: /a\r\nReferer: <script>\r\n")
        self.assertRecorded("/referer1", "referer")

    def test_a_form_body_that_only_mentions_multipart_is_inspected(self):
        self.site.request("POST", "/form1",
                          "Host: h\r\nContent-Type: application/x-www-form-urlencoded; "
                          "x=multipart/form-data\r\n", f"id={ATTACK}".encode())
        self.assertRecorded("/form1", "arg_post")

    def test_names_that_are_not_utf8_keep_their_values_inspected(self):
        for n, name in enumerate(("%C3%A9", "%FF", "%E4%B8", "caf%C3")):
            self.site.request("GET", f"/utf{n}?{name}={ATTACK}", "Host: h\r\n")
            self.assertRecorded(f"/utf{n}", "arg_get")
            self.site.request("POST", f"/utfpost{n}", "Host: h\r\n",
                              f"{name}={ATTACK}".encode())
            self.assertRecorded(f"/utfpost{n}", "arg_post")

    def test_client_text_cannot_forge_or_shift_records(self):
        forged = "%0d%0a2026-01-01%2000:00:00%20%201.2.3.4%20127.0.0.1%2080%20h%20GET"
        self.site.request("GET", f"/forge1{forged}?id={ATTACK}", "Host: h\r\n")
        self.site.request("GET", f"/forge2?id={ATTACK}", "Host: my host name\r\n")
        self.assertRecorded("/forge1", "arg_get", "/forge1%0D%0A2026-01-01%2000:00:00%20%201.2.3.4")
        if self.site.web.saw("/forge2"):
            self.assertRecorded("/forge2", "arg_get")
        for record in self.site.records():
            self.assertEqual(len(record.split(b" ")), FIELDS + 1, record)  # two blanks after time
            self.assertNotIn(b"\r", record)


class RunLog(unittest.TestCase):
    def test_list_values_in_the_run_log_stay_one_line(self):
        site = Installation("run_mod=1\naction_block=1\n")
        with open(os.path.join(site.app, "wblist.dat"), "w", newline="") as f:
            f.write('BL_URL   "/deny"\r\n')
        site.start()
        try:
            site.request("GET", "/deny%0d%0a2026-01-01%2000:00:00%20forged", "Host: h\r\n")
            self.assertTrue(wait_for(lambda: b"BL_URL" in site.log("ostrum.log")))
            lines = [l for l in site.log("ostrum.log").split(b"\r\n") if l and l[:1] != b"#"]
            for line in lines:
                self.assertRegex(line, rb"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ")
            self.assertIn(b" /deny%0D%0A2026-01-01%2000:00:00%20forged in BL_URL,", b"".join(lines))
            self.assertFalse(site.web.saw("/deny"))
        finally:
            site.close()


class SelfLearning(unittest.TestCase):
    def test_memory_and_file_stay_bounded_under_a_flood_of_keys(self):
        site = Installation("run_mod=0\nself_learn=1\nwrite_detaillog=0\n")
        site.start()
        try:
            site.request("GET", "/warm?a=1", "Host: h\r\n")
            before = site.resident_kib()
            long_url = "/" + "u" * 60000
            body = "&".join(f"p{i}=1" for i in range(60000)).encode()
            for _ in range(3):
                site.request("POST", long_url, "Host: h\r\n", body)
            # 30,000 new keys pass the key cap; the samples of known keys
            # after it bring learning to its end and its file.
            params = "&".join(f"p{i}=1" for i in range(1000)).encode()
            for page in range(110):
                site.request("POST", f"/page{page if page < 30 else 0}", "Host: h\r\n", params)
            grown_mib = (site.resident_kib() - before) / 1024
            self.assertLess(grown_mib, 128)
            run_log = site.log("ostrum.log")
            self.assertEqual(run_log.count(b"keys longer than"), 1, run_log)
            self.assertEqual(run_log.count(b"keys reached"), 1, run_log)
            self.assertTrue(wait_for(lambda: site.log("self_learn")))
            result = site.log("self_learn").split(b"\r\n")
            self.assertLessEqual(len([l for l in result if l]), 20000)
            self.assertTrue(any(l.startswith(b"h::") and b"::/page0::P::p1 {" in l
                                for l in result))
        finally:
            site.close()


if __name__ == "__main__":
    unittest.main()
