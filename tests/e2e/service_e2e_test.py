"""Whole-system tests: nginx on loopback behind the installed service,
started through the standalone service backend, with real clients."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

OSTRUM, SVCCTL, DIST = sys.argv[1:4]
del sys.argv[1:4]
NGINX = "/usr/sbin/nginx"

RULES = (
    'RAWRULE  "1,arg,normal,regex,block"  "union\\s+select"\r\n'
    'RAWRULE  "2,agent,normal,find,log"  "sqlmap"\r\n'
    'RAWRULE  "3,url,normal,find,block"  "../"\r\n'
)
PATCH_RULES = (
    'JIPTYPE  num "^[0-9]+$"\r\n'
    'JIPRULE  7  127.0.0.1:{port}::{port}::/item::g::id  num::1-5\r\n'
)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def exchange(port, data, timeout=10.0):
    """Sends raw bytes and returns everything read until the peer closes
    or stays silent; b"" when the connection was closed at once."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(data)
        s.settimeout(2.0)
        chunks = []
        try:
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                chunks.append(chunk)
        except (socket.timeout, ConnectionResetError):
            pass
        return b"".join(chunks)


def get(port, target, headers=""):
    return exchange(port, (f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\n"
                           f"{headers}Connection: close\r\n\r\n").encode())


class Installation:
    """A program folder with its own registry, rules and web server."""

    def __init__(self, run_mod=1, settings=""):
        self.root = tempfile.mkdtemp(prefix="ostrum-e2e-")
        self.app = os.path.join(self.root, "app")
        shutil.copytree(DIST, self.app)
        os.makedirs(os.path.join(self.app, "log"))
        for program in (OSTRUM, SVCCTL):
            shutil.copy(program, self.app)
        self.env = dict(os.environ, OSTRUM_SVC_ROOT=os.path.join(self.root, "registry"))
        self.web_port = free_port()
        self.port = free_port()
        self._configure(run_mod, settings)
        self._start_nginx()

    def _configure(self, run_mod, settings):
        with open(os.path.join(self.app, "ostrum.cfg"), "a") as cfg:
            cfg.write(f"run_mod={run_mod}\nfilt_http_port={self.port}\n{settings}")
        with open(os.path.join(self.app, "RAWRULE.dat"), "w", newline="") as f:
            f.write(RULES)
        with open(os.path.join(self.app, "JIPRULE.dat"), "w", newline="") as f:
            f.write(PATCH_RULES.format(port=self.port))
        with open(os.path.join(self.app, "netfilter2", "netfilter.ini"), "w") as f:
            f.write(f"[upstream]\n{self.port}=127.0.0.1:{self.web_port}\n"
                    "[setting]\nlisten=127.0.0.1\nthreads=2\n")

    def _start_nginx(self):
        web = os.path.join(self.root, "nginx")
        os.makedirs(os.path.join(web, "html"))
        os.makedirs(os.path.join(web, "tmp"))
        for page in ("index.html", "item"):
            with open(os.path.join(web, "html", page), "w") as f:
                f.write("hello\n")
        os.chmod(self.root, 0o755)
        subprocess.run(["chmod", "-R", "a+rX", self.root], check=True)
        self.nginx_conf = os.path.join(web, "nginx.conf")
        temps = "".join(f"{k}_temp_path {web}/tmp; " for k in
                        ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        with open(self.nginx_conf, "w") as f:
            f.write(f"daemon on; pid {web}/nginx.pid; error_log {web}/error.log;\n"
                    "events { worker_connections 256; }\n"
                    f"http {{ access_log {web}/access.log; {temps}\n"
                    f"  server {{ listen 127.0.0.1:{self.web_port}; root {web}/html; }} }}\n")
        subprocess.run([NGINX, "-c", self.nginx_conf], check=True)
        self.access_log = os.path.join(web, "access.log")

    def ostrum(self, *args):
        return subprocess.run(["./ostrum", *args], cwd=self.app, env=self.env,
                              capture_output=True, text=True, timeout=60).stdout

    def svcctl(self, *args):
        return subprocess.run(["./svcctl", *args, "Ostrum"], cwd=self.app, env=self.env,
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def log(self, name):
        path = os.path.join(self.app, "log", name)
        if name in ("attack", "detail"):
            matches = [n for n in os.listdir(os.path.dirname(path)) if n.startswith(name)]
            if not matches:
                return ""
            path = os.path.join(self.app, "log", matches[0])
        try:
            with open(path, newline="") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def start(self):
        self.ostrum("-i")
        self.svcctl("start")
        assert wait_for(lambda: "ostrum start!" in self.log("ostrum.log")), self.log("ostrum.log")

    def close(self):
        self.svcctl("stop")
        self.ostrum("-u")
        subprocess.run([NGINX, "-c", self.nginx_conf, "-s", "stop"], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class Traffic(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # A block then closes only the connection that carried the hit, so
        # the cases do not decide each other's answers.
        cls.site = Installation(run_mod=1, settings="block_when_conn=0\n")
        cls.site.start()

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def attack_lines(self):
        return [l for l in self.site.log("attack").split("\r\n") if l and not l.startswith("#")]

    def test_clean_request_passes_and_attacks_are_closed_and_logged(self):
        site = self.site
        self.assertIn(b"200 OK", get(site.port, "/?id=42"))
        before = len(self.attack_lines())
        self.assertEqual(get(site.port, "/?id=1%20union%20select%202"), b"")
        self.assertTrue(wait_for(lambda: len(self.attack_lines()) == before + 1))
        self.assertRegex(self.attack_lines()[-1], r" arg_get AR:1 log\|block /$")

    def test_log_only_rule_passes(self):
        answer = get(self.site.port, "/", "User-Agent: sqlmap/1.7\r\n")
        self.assertIn(b"200 OK", answer)
        self.assertTrue(wait_for(lambda: any(" agent AR:2 log /" in l for l in self.attack_lines())))

    def test_patch_rule_by_type_and_length(self):
        port = self.site.port
        self.assertIn(b"200 OK", get(port, "/item?id=123"))
        self.assertEqual(get(port, "/item?id=12a"), b"", "wrong type")
        self.assertEqual(get(port, "/item?id=123456"), b"", "too long")
        self.assertTrue(wait_for(lambda: sum(" arg_get PR:7 block /item" in l
                                             for l in self.attack_lines()) == 2))

    def test_keep_alive_second_request_is_inspected(self):
        port = self.site.port
        request = "GET /?a={} HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(request.format("1").encode())
            first = b""
            while b"hello" not in first:
                chunk = s.recv(65536)
                self.assertTrue(chunk, first)
                first += chunk
            self.assertIn(b"200 OK", first)
            s.sendall(request.format("1%20union%20select%201").encode())
            s.settimeout(10)
            try:
                self.assertEqual(s.recv(65536), b"")
            except ConnectionResetError:
                pass

    def test_chunked_form_body_is_inspected(self):
        body = b"q=1+union+select+2"
        request = (f"POST /index.html HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
                   "Content-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n\r\n"
                   ).encode() + b"%x\r\n%s\r\n0\r\n\r\n" % (len(body), body)
        self.assertEqual(exchange(self.site.port, request), b"")
        self.assertTrue(wait_for(lambda: any(" arg_post AR:1 log|block" in l
                                             for l in self.attack_lines())))

    def test_many_clients_lose_nothing(self):
        port = self.site.port
        before = len(self.attack_lines())
        results = []

        def client(n):
            for i in range(20):
                attack = i % 10 == 0
                target = f"/?n={n}&i={i}" + ("&x=1%20union%20select%201" if attack else "")
                results.append((attack, get(port, target)))

        threads = [threading.Thread(target=client, args=(n,)) for n in range(50)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(len(results), 1000)
        for attack, answer in results:
            if attack:
                self.assertEqual(answer, b"")
            else:
                self.assertIn(b"200 OK", answer)
        self.assertTrue(wait_for(lambda: len(self.attack_lines()) == before + 100),
                        len(self.attack_lines()) - before)

    def test_smuggling_is_refused_and_never_reaches_the_web_server(self):
        request = (f"POST /smuggle HTTP/1.1\r\nHost: x\r\nContent-Length: 4\r\n"
                   "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n").encode()
        self.assertIn(b"400", exchange(self.site.port, request).split(b"\r\n")[0])
        time.sleep(0.2)
        with open(self.site.access_log) as f:
            self.assertNotIn("/smuggle", f.read())


LISTS = 'BL_URL   "/secret/"\r\nBL_EXT   "bak"\r\nWL_URL   "/open/"\r\n'


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class Lists(unittest.TestCase):
    def site_with_lists(self, run_mod):
        site = Installation(run_mod=run_mod, settings="block_when_conn=0\n")
        with open(os.path.join(site.app, "wblist.dat"), "w", newline="") as f:
            f.write(LISTS)
        site.start()
        return site

    def test_black_lists_close_only_while_blocking_is_on(self):
        for run_mod, closed in ((1, True), (2, False)):
            site = self.site_with_lists(run_mod)
            try:
                for target in ("/secret/page.html", "/a.bak"):
                    answer = get(site.port, target)
                    self.assertEqual(answer == b"", closed, (run_mod, target, answer[:60]))
            finally:
                site.close()

    def test_white_listed_url_and_oversized_request_pass_unchecked(self):
        site = self.site_with_lists(1)
        try:
            answer = get(site.port, "/open/?id=1%20union%20select%202")
            self.assertTrue(answer.startswith(b"HTTP/1.1 404"), answer[:60])
            body = b"q=1+union+select+2&pad=" + b"x" * (1024 * 1024)
            request = (f"POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Length: {len(body)}\r\n"
                       "Content-Type: application/x-www-form-urlencoded\r\n"
                       "Connection: close\r\n\r\n").encode() + body
            self.assertTrue(exchange(site.port, request).startswith(b"HTTP/1.1"))
            self.assertIn(b"200 OK", get(site.port, "/index.html"))
            self.assertTrue(wait_for(lambda: "GET /index.html" in site.log("detail")))
            self.assertEqual(site.log("attack"), "", "no rule looked at either request")
            self.assertNotIn("/open/", site.log("detail"))
        finally:
            site.close()


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class BlockTimer(unittest.TestCase):
    def test_blocked_client_is_refused_at_its_next_connection(self):
        site = Installation(run_mod=1)
        try:
            site.start()
            self.assertIn(b"200 OK", get(site.port, "/"))
            self.assertEqual(get(site.port, "/?id=1%20union%20select%202"), b"")
            self.assertEqual(get(site.port, "/"), b"", "the 60-second block refuses the client")
            self.assertTrue(wait_for(lambda: "block on tcpConnected!" in site.log("ostrum.log")))
        finally:
            site.close()


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class ServiceProgram(unittest.TestCase):
    def setUp(self):
        self.site = Installation(run_mod=2)

    def tearDown(self):
        self.site.close()

    def test_install_control_and_removal(self):
        site = self.site
        self.assertEqual(site.ostrum("-i"), "Ostrum installed\n")
        self.assertEqual(site.ostrum("-I"), "Ostrum is already installed\n")
        self.assertEqual(site.ostrum(), "The service can not run from command line.\n")
        site.svcctl("start")
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Running"))
        self.assertTrue(wait_for(lambda: "ostrum start!" in site.log("ostrum.log")))
        site.svcctl("pause")
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Paused"))
        self.assertIn(b"200 OK", get(site.port, "/?id=1%20union%20select%202"),
                      "bypass mode records but does not close")
        self.assertTrue(wait_for(lambda: "AR:1 log /" in site.log("attack")))
        site.svcctl("continue")
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Running"))
        site.svcctl("stop")
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Stopped"))
        self.assertTrue(site.log("ostrum.log").endswith("ostrum stop!\r\n"))
        site.svcctl("start")
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Running"))
        removal = site.ostrum("-u")
        self.assertTrue(removal.startswith("Stopping service...\nOstrum removed.\n"), removal)
        self.assertEqual(site.ostrum("-u"), "Ostrum is not installed\n")

    def test_disabled_protection_fails_the_start(self):
        site = self.site
        with open(os.path.join(site.app, "ostrum.cfg"), "a") as cfg:
            cfg.write("run_mod=3\n")
        site.ostrum("-i")
        site.svcctl("start")
        self.assertTrue(wait_for(lambda: "Failed to start.Ostrum was set to Disabled."
                                 in site.log("ostrum.log")))
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Stopped"))


if __name__ == "__main__":
    unittest.main()
