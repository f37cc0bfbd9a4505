"""Whole-system tests of hostile request framing: the installed service in
front of a web server of the tests that reads requests as leniently as some
servers do. Nothing may reach it that the filter did not see, and the
service's memory stays bounded however the client frames its request."""

import os
import re
import socket
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import service_e2e_test as base  # noqa: E402  (takes the program paths from argv)

ATTACK = b"/?id=1%20union%20select%201,2"
LINE_END = re.compile(rb"\r\n|\r|\n")
ANSWER = b"HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nserved\n"


def take_request(buffer):
    """One request as a lenient server reads it: blanks, tabs and line ends
    before it skipped, CR LF, a lone CR or a lone LF ending a line, any run
    of white space between the parts of the request line. Returns the
    request line's words and the rest, or None while it is incomplete."""
    at = len(buffer) - len(buffer.lstrip(b" \t\r\n\x0b\x0c"))
    lines = []
    while True:
        end = LINE_END.search(buffer, at)
        if not end:
            return None
        line, at = buffer[at:end.start()], end.end()
        if not line:
            break
        lines.append(line)
    length = 0
    for field in lines[1:]:
        name, _, value = field.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    if len(buffer) < at + length:
        return None
    return lines[0].split(), buffer[at + length:]


class LenientServer:
    """Answers every request it can read with 200 and keeps each request
    line it served."""

    def __init__(self, port):
        self.served = []
        self.bytes = 0
        self._lock = threading.Lock()
        self._listener = socket.create_server(("127.0.0.1", port))
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self._listener.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        buffer = b""
        with connection:
            while True:
                taken = take_request(buffer)
                if taken is None:
                    chunk = connection.recv(65536)
                    if not chunk:
                        return
                    with self._lock:
                        self.bytes += len(chunk)
                    buffer += chunk
                    continue
                words, buffer = taken
                if len(words) != 3:
                    connection.sendall(b"HTTP/1.1 400 Bad Request\r\nConnection: close\r\n\r\n")
                    return
                with self._lock:
                    self.served.append(b" ".join(words))
                connection.sendall(ANSWER)

    def stop(self):
        self._listener.close()


class LenientSite(base.Installation):
    def __init__(self, web_server=True):
        self._with_web_server = web_server
        self.web = None
        super().__init__(run_mod=1, settings="block_when_conn=0\n")

    def _start_nginx(self):  # this site's web server is the lenient one, or none
        if self._with_web_server:
            self.web = LenientServer(self.web_port)

    def close(self):
        self.svcctl("stop")
        self.ostrum("-u")
        if self.web:
            self.web.stop()
        base.shutil.rmtree(self.root, ignore_errors=True)

    def service_pid(self):
        program = os.path.realpath(os.path.join(self.app, "ostrum"))
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.path.realpath(f"/proc/{pid}/exe") == program:
                    return int(pid)
            except OSError:
                continue
        return None


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def send_and_read(port, parts):
    """Sends each part as its own segment, then reads until the peer closes
    or stays silent."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        for part in parts:
            s.sendall(part)
            time.sleep(0.05)
        s.settimeout(2.0)
        answer = b""
        try:
            while chunk := s.recv(65536):
                answer += chunk
        except (socket.timeout, ConnectionResetError):
            pass
        return answer


class HostileFraming(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = LenientSite()
        cls.site.start()

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def attack_lines(self):
        return [r for r in self.site.log("attack").splitlines() if r[:1] not in ("", "#")]

    def assert_never_served(self, text):
        self.assertFalse([l for l in self.site.web.served if text in l], self.site.web.served)

    def test_line_ends_before_an_attack_do_not_hide_it(self):
        before = len(self.attack_lines())
        attack = b"GET " + ATTACK + b" HTTP/1.1\r\nHost: x\r\n\r\n"
        cases = (  # the parts, each its own segment, and the answer
            ([b"\r" + attack], b""),
            ([b"\r", b"\n\r", b"\n\n" + attack], b""),
            ([b"GET /?id=1 HTTP/1.1\r\nHost: x\r\n\r\n", b"\r" + attack], ANSWER),
        )
        for parts, expected in cases:
            self.assertEqual(send_and_read(self.site.port, parts), expected, parts)
        self.assertTrue(base.wait_for(lambda: len(self.attack_lines()) == before + len(cases)))
        self.assertRegex(self.attack_lines()[-1], r" arg_get AR:1 log\|block /$")
        self.assert_never_served(b"union")
        self.assertIn(b"GET /?id=1 HTTP/1.1", self.site.web.served)

    def test_what_lenient_servers_read_as_requests_gets_400(self):
        cases = [b" GET ", b"\tGET ", b"\x0bGET ", b"\x0cGET ", b"GET\t", b"\r\n\t\rGET "]
        for start in cases:
            request = start + ATTACK + b" HTTP/1.1\r\nHost: x\r\n\r\n"
            answer = send_and_read(self.site.port, [request])
            self.assertTrue(answer.startswith(b"HTTP/1.1 400 "), (request, answer[:40]))
        tabs = b"GET\t" + ATTACK + b"\tHTTP/1.1\r\nHost: x\r\n\r\n"
        self.assertTrue(send_and_read(self.site.port, [tabs]).startswith(b"HTTP/1.1 400 "))
        hosts = b"GET /?h=1 HTTP/1.1\r\nHost: trusted\r\nHost: evil\r\n\r\n"
        self.assertTrue(send_and_read(self.site.port, [hosts]).startswith(b"HTTP/1.1 400 "))
        self.assert_never_served(b"union")
        self.assert_never_served(b"/?h=1")

    def test_chunk_extension_flood_keeps_memory_bounded(self):
        pid = self.site.service_pid()
        self.assertIsNotNone(pid)
        head = b"POST /flood HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
        long_lines = head + b"1;e=" + b"x" * 60000 + b"\r\nX\r\n"
        self.assertTrue(send_and_read(self.site.port, [long_lines]).startswith(b"HTTP/1.1 400 "))
        flood = head + (b"1;e=" + b"x" * 3000 + b"\r\nX\r\n") * 1500
        before = resident_kib(pid)
        peak = [before]
        answers = []

        def client():
            answers.append(send_and_read(self.site.port, [flood]))

        def sample():
            while len(answers) < 8:
                peak[0] = max(peak[0], resident_kib(pid))
                time.sleep(0.01)

        threads = [threading.Thread(target=client) for _ in range(8)]
        watcher = threading.Thread(target=sample)
        for t in threads + [watcher]:
            t.start()
        for t in threads + [watcher]:
            t.join()
        for answer in answers:
            self.assertTrue(answer == b"" or answer.startswith(b"HTTP/1.1 413 "), answer[:40])
        # 8 clients sending 4.5 MB each; the service holds at most about
        # 1 MiB and a header block of each (the flood once cost 90 MB).
        self.assertLess(peak[0] - before, 48 * 1024, (before, peak[0]))
        self.assert_never_served(b"/flood")


class UnreachableWebServer(unittest.TestCase):
    def test_run_log_names_the_address_once(self):
        site = LenientSite(web_server=False)
        try:
            site.start()
            for _ in range(3):
                answer = base.get(site.port, "/")
                self.assertTrue(answer.startswith(b"HTTP/1.1 502 "), answer[:40])
            line = f"Failed to reach web server 127.0.0.1:{site.web_port} of port {site.port}"
            self.assertTrue(base.wait_for(lambda: line in site.log("ostrum.log")))
            self.assertEqual(site.log("ostrum.log").count(line), 1, site.log("ostrum.log"))
        finally:
            site.close()


if __name__ == "__main__":
    unittest.main()
