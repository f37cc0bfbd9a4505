"""Whole-program tests of the updater: the real `update` in a temporary
program folder, a loopback HTTP server playing the update server, a loopback
FTP server receiving the report, the real 7z and curl, and the real service
through the standalone backend."""

import datetime
import hashlib
import logging
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.ioloop import IOLoop
from pyftpdlib.servers import ThreadedFTPServer

UPDATE, OSTRUM, SVCCTL, CONSOLE, DIST = sys.argv[1:6]
del sys.argv[1:6]
logging.basicConfig(level=logging.WARNING)  # keeps the FTP server from logging each session


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


def md5(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest().upper()


def make_package(folder, name, files):
    """A 7z archive holding files {name: text}; returns its path."""
    staging = tempfile.mkdtemp(dir=folder)
    for file_name, text in files.items():
        with open(os.path.join(staging, file_name), "w") as f:
            f.write(text)
    archive = os.path.join(folder, name)
    subprocess.run(["7z", "a", "-t7z", archive, *files], cwd=staging, check=True,
                   capture_output=True)
    shutil.rmtree(staging)
    return archive


def list_archive(path, folder):
    """{name: text} of the files in a report archive, which keeps them under report/."""
    out = tempfile.mkdtemp(dir=folder)
    subprocess.run(["7z", "x", path, "-o" + out, "-y"], check=True, capture_output=True)
    assert os.listdir(out) == ["report"], os.listdir(out)
    out = os.path.join(out, "report")
    content = {}
    for name in os.listdir(out):
        with open(os.path.join(out, name), newline="") as f:
            content[name] = f.read()
    return content


class UpdateServer:
    """Answers each path from `routes` (status, body, delay) and records
    every request target."""

    def __init__(self):
        self.routes = {}
        self.requests = []
        server = self

        class Handler(BaseHTTPRequestHandler):
            def do_GET(self):
                server.requests.append(self.path)
                status, body, delay = server.routes.get(self.path.split("?")[0],
                                                        (404, b"not here at all", 0))
                time.sleep(delay)
                self.send_response(status)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    def serve(self, path, body, status=200, delay=0):
        self.routes[path] = (status, body if isinstance(body, bytes) else body.encode(), delay)

    def serve_file(self, path, file_path):
        with open(file_path, "rb") as f:
            self.serve(path, f.read())

    def paths(self):
        return [r.split("?")[0] for r in self.requests]

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


class ReportServer:
    """An FTP server on loopback that takes the report account with any
    password and keeps what it was given."""

    def __init__(self, home):
        self.home = home
        self.passwords = []
        report = self

        class Authorizer(DummyAuthorizer):
            def validate_authentication(self, username, password, handler):
                report.passwords.append(password)
                if username != "ostrum":
                    raise AuthenticationFailed("unknown user")

        authorizer = Authorizer()
        authorizer.add_user("ostrum", "", home, perm="elradfmwMT")
        handler = type("Handler", (FTPHandler,), {"authorizer": authorizer, "log_prefix": ""})
        # An event loop of its own: the library's shared one is closed with
        # the first server.
        self.server = ThreadedFTPServer(("127.0.0.1", 0), handler, ioloop=IOLoop())
        self.port = self.server.address[1]
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        while not self.stopping.is_set():
            self.server.serve_forever(timeout=0.1, blocking=False)
        self.server.close_all()

    def files(self):
        return sorted(os.listdir(self.home))

    def close(self):
        self.stopping.set()
        self.thread.join()


class Installation:
    """A program folder with the updater, the service, a console stand-in,
    an update server and a report server."""

    def __init__(self, versions=("2.0", "1.0", "1.0"), ini=None):
        self.root = tempfile.mkdtemp(prefix="ostrum-update-e2e-")
        self.app = os.path.join(self.root, "app")
        shutil.copytree(DIST, self.app)
        os.makedirs(os.path.join(self.app, "log"))
        for program in (UPDATE, OSTRUM, SVCCTL):
            shutil.copy(program, self.app)
        shutil.copy(CONSOLE, os.path.join(self.app, "ostrumgui"))
        self.trace = os.path.join(self.root, "trace.txt")
        self.env = dict(os.environ, OSTRUM_SVC_ROOT=os.path.join(self.root, "registry"),
                        OSTRUM_TRACE=self.trace, OSTRUM_UPDATE_PAUSE_MS="0",
                        QT_QPA_PLATFORM="offscreen")
        self.packages = os.path.join(self.root, "packages")
        os.makedirs(self.packages)
        os.makedirs(os.path.join(self.root, "ftp"))
        self.http = UpdateServer()
        self.ftp = ReportServer(os.path.join(self.root, "ftp"))
        self.service_installed = False
        self.console = None
        self.foreign_console = None
        port = free_port()
        self.cfg_set(ostrum_ver=versions[0], rule_ver=versions[1], driver_ver=versions[2],
                     run_mod="1", filt_http_port=str(port))
        with open(os.path.join(self.app, "netfilter2", "netfilter.ini"), "w") as f:
            f.write(f"[upstream]\n{port}=127.0.0.1:{free_port()}\n"
                    "[setting]\nlisten=127.0.0.1\nthreads=1\n")
        if ini is None:
            ini = {"up_url": self.http.url("/update/"), "ftp_host": "127.0.0.1",
                   "ftp_port": str(self.ftp.port)}
        with open(os.path.join(self.app, "update.ini"), "w") as f:
            f.write("[setting]\r\n" + "".join(f"{k}={v}\r\n" for k, v in ini.items()))

    # ostrum.cfg
    def cfg_path(self):
        return os.path.join(self.app, "ostrum.cfg")

    def cfg_set(self, **values):
        with open(self.cfg_path(), newline="") as f:
            text = f.read()
        for key, value in values.items():
            text, found = re.subn(rf"(?m)^{key}=.*$", f"{key}={value}", text)
            if not found:
                text += f"{key}={value}\n"
        with open(self.cfg_path(), "w", newline="") as f:
            f.write(text)

    def cfg_bytes(self):
        with open(self.cfg_path(), "rb") as f:
            return f.read()

    def cfg(self, key):
        with open(self.cfg_path(), newline="") as f:
            match = re.search(rf"(?m)^{key}=(.*?)\r?$", f.read())
        return match.group(1) if match else None

    # the update server's side
    def offer(self, product=("", "", ""), rule=("", "", ""), driver=("", "", "")):
        self.http.serve("/update/", ",".join([*product, *rule, *driver]))

    def package(self, name, files):
        path = make_package(self.packages, name, files)
        self.http.serve_file("/pkg/" + name, path)
        return (self.http.url("/pkg/" + name), md5(path))

    # programs
    def update(self, *args, timeout=60, cwd=None, env=None):
        # No pipes: the console it restarts would hold them open.
        return subprocess.run([os.path.join(self.app, "update"), *args], cwd=cwd or self.app,
                              env=dict(self.env, **(env or {})), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout)

    def svcctl(self, *args):
        return subprocess.run(["./svcctl", *args, "Ostrum"], cwd=self.app, env=self.env,
                              capture_output=True, text=True, timeout=60).stdout.strip()

    def service_pid(self):
        for pid in os.listdir("/proc"):
            try:
                if pid.isdigit() and os.readlink(f"/proc/{pid}/exe") == \
                        os.path.join(self.app, "ostrum"):
                    return int(pid)
            except OSError:
                pass
        return 0

    def start_service(self):
        subprocess.run(["./ostrum", "-i"], cwd=self.app, env=self.env, capture_output=True,
                       timeout=60)
        self.service_installed = True
        self.svcctl("start")
        assert wait_for(lambda: self.svcctl("query") == "Running"), self.svcctl("query")

    def start_console(self):
        self.console = subprocess.Popen(["./ostrumgui"], cwd=self.app)
        assert wait_for(lambda: len(self.console_starts()) == 1)
        return self.console

    def console_starts(self, folder=None):
        try:
            with open(os.path.join(folder or self.app, "console-started")) as f:
                return [int(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def start_foreign_console(self):
        """A console of a second program folder, beside this one."""
        folder = os.path.join(self.root, "other")
        os.makedirs(folder)
        shutil.copy(CONSOLE, os.path.join(folder, "ostrumgui"))
        self.foreign_console = subprocess.Popen(["./ostrumgui"], cwd=folder)
        assert wait_for(lambda: len(self.console_starts(folder)) == 1)
        return self.foreign_console

    def traced(self):
        try:
            with open(self.trace, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def close(self):
        if self.service_installed:
            self.svcctl("stop")
            wait_for(lambda: self.service_pid() == 0, 10)
            subprocess.run(["./ostrum", "-u"], cwd=self.app, env=self.env, capture_output=True)
        for pid in self.console_starts():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        if self.console:
            self.console.wait()
        if self.foreign_console:
            self.foreign_console.kill()
            self.foreign_console.wait()
        self.http.close()
        self.ftp.close()
        shutil.rmtree(self.root, ignore_errors=True)


def day(offset):
    return (datetime.date.today() + datetime.timedelta(days=offset)).isoformat()


class UpdateCase(unittest.TestCase):
    def setUp(self):
        self.site = Installation()
        self.addCleanup(self.site.close)


class Check(UpdateCase):
    def test_no_address_answers_and_the_report_goes_to_the_built_in_address(self):
        site = self.site
        with open(os.path.join(site.app, "update.ini"), "w") as f:
            f.write(f"[setting]\nup_url=http://127.0.0.1:{free_port()}/update/\n"
                    f"ftp_host=127.0.0.1\nftp_port={site.ftp.port}\n")
        self.assertEqual(site.update().returncode, 0)
        self.assertEqual(site.http.requests, [])
        self.assertEqual(site.cfg("ostrum_ver"), "2.0")
        traced = site.traced()
        self.assertIn("update_url=http://update.ostrum.invalid/update/?ostrum_ver=", traced)
        self.assertIn("http://update.ostrum.invalid/update/reportok.php?m_code=", traced)
        self.assertNotIn("updateok.php", traced)
        self.assertEqual(len(site.ftp.files()), 1, "the report is sent all the same")

    def test_short_and_failed_replies_skip_to_the_next_address(self):
        site = self.site
        with open(os.path.join(site.app, "update.ini"), "w") as f:
            f.write(f"[setting]\nup_url={site.http.url('/e')},abc,{site.http.url('/a/')},"
                    f"{site.http.url('/b')}\nftp_host=127.0.0.1\nftp_port={site.ftp.port}\n")
        site.http.serve("/e/", "an error page of some length", status=500)
        site.http.serve("/a/", "abcdef")
        site.http.serve("/b/", "2.0,,,1.0,,,1.0,,")
        self.assertEqual(site.update().returncode, 0)
        self.assertEqual(site.http.paths(), ["/e/", "/a/", "/b/", "/b/reportok.php"])
        query = site.http.requests[2].split("?", 1)[1]
        self.assertRegex(query, r"^ostrum_ver=2\.0&rule_ver=1\.0&driver_ver=1\.0"
                                r"&m_code=[0-9A-F]{16}&os=\S.*&pm=[1-9][0-9]*&rand=0(\.[0-9]+)?"
                                r"([eE]-?[0-9]+)?$")
        m_code = re.search(r"m_code=([0-9A-F]{16})", query).group(1)
        self.assertEqual(site.http.requests[3], f"/b/reportok.php?m_code={m_code}")
        self.assertIn("new_driver_ver=1.0", site.traced())

    def test_newer_by_number_older_as_text_updates_nothing(self):
        site = self.site
        site.cfg_set(ostrum_ver="9.0")
        url, digest = site.package("product.7z", {"newfile.txt": "new"})
        site.offer(product=("10.0", url, digest), rule=("1.0", url, digest))
        self.assertEqual(site.update().returncode, 0)
        self.assertEqual(site.http.paths(), ["/update/", "/update/reportok.php"])
        self.assertEqual(site.cfg("ostrum_ver"), "9.0")
        self.assertFalse(os.path.exists(os.path.join(site.app, "newfile.txt")))

    def test_second_instance_ends_at_once(self):
        site = self.site
        site.http.serve("/update/", "short", delay=3)
        first = subprocess.Popen(["./update"], cwd=site.app, env=site.env)
        try:
            self.assertTrue(wait_for(lambda: len(site.http.requests) == 1))
            second = site.update(timeout=2)
            self.assertEqual(second.returncode, 0)
            self.assertIsNone(first.poll(), "the first is still waiting for its answer")
            self.assertEqual(len(site.http.requests), 1)
        finally:
            first.wait(timeout=60)
        self.assertEqual(site.http.paths(), ["/update/"], "a short reply: no server answered")


class Apply(UpdateCase):
    def test_digest_mismatch_skips_only_that_package(self):
        site = self.site
        site.start_service()
        service_before = site.service_pid()
        console = site.start_console()
        product = site.package("product.7z", {"newfile.txt": "product"})
        rule = site.package("rules.7z", {"regex.txt": "new rules\n"})
        os.makedirs(os.path.join(site.app, "updates"), exist_ok=True)
        with open(os.path.join(site.app, "updates", "stale.7z"), "w") as f:
            f.write("left from the last run")

        site.offer(product=("2.1", product[0], product[1].lower()),
                   rule=("1.5", rule[0], rule[1]), driver=("1.0", "", ""))
        self.assertEqual(site.update().returncode, 0)

        self.assertEqual(site.cfg("ostrum_ver"), "2.0", "a lower-case digest does not match")
        self.assertEqual(site.cfg("rule_ver"), "1.5")
        self.assertEqual(site.cfg("driver_ver"), "1.0")
        self.assertFalse(os.path.exists(os.path.join(site.app, "newfile.txt")))
        with open(os.path.join(site.app, "regex.txt")) as f:
            self.assertEqual(f.read(), "new rules\n")
        self.assertEqual(os.listdir(os.path.join(site.app, "updates")), ["rules.7z"],
                         "the stale package and the mismatched one are gone")
        self.assertIn("updates/product.7z Hash 不匹配! new_hash=" + product[1], site.traced())
        self.assertIn("updates/rules.7z Hash 匹配!", site.traced())

        self.assertIsNotNone(console.poll(), "the console was ended")
        self.assertEqual(len(site.console_starts()), 1, "silent mode starts no console")
        self.assertEqual(site.svcctl("query"), "Running")
        self.assertNotIn(site.service_pid(), (0, service_before))
        self.assertEqual(site.http.paths()[-2:], ["/update/updateok.php", "/update/reportok.php"])

    def test_driver_alone_leaves_rules_alone_and_interactive_restarts_console(self):
        site = self.site
        site.start_service()
        site.start_console()
        foreign = site.start_foreign_console()
        driver = site.package("driver.7z", {"driver.txt": "driver"})
        rule_url = site.http.url("/pkg/rules.7z")
        site.offer(product=("2.0", "", ""), rule=("0.9", rule_url, "AB" * 16),
                   driver=("1.1", driver[0], driver[1]))
        self.assertEqual(site.update("-s").returncode, 0)

        self.assertEqual(site.cfg("driver_ver"), "1.1")
        self.assertEqual(site.cfg("rule_ver"), "1.0", "no rule package came in this run")
        self.assertTrue(os.path.exists(os.path.join(site.app, "driver.txt")))
        traced = site.traced()
        self.assertIn("7z e updates/driver.7z -y", traced)
        self.assertNotIn("updates/rules.7z", traced)
        self.assertNotIn("/pkg/rules.7z", site.http.paths())
        self.assertTrue(wait_for(lambda: len(site.console_starts()) == 2), "console restarted")
        self.assertIsNone(foreign.poll(), "another program folder's console lives on")
        self.assertEqual(site.svcctl("query"), "Running")
        self.assertNotIn("/update/reportok.php", site.http.paths(), "interactive: no report")
        self.assertEqual(site.ftp.files(), [])

    def test_bad_rule_digest_beside_a_good_driver_unpacks_only_the_driver(self):
        site = self.site
        foreign = site.start_foreign_console()
        rule = site.package("rules.7z", {"badrule.txt": "not what the server vouched for"})
        driver = site.package("driver.7z", {"driver.txt": "driver"})
        site.offer(rule=("1.5", rule[0], "0" * 32), driver=("1.1", driver[0], driver[1]))
        self.assertEqual(site.update().returncode, 0)

        self.assertFalse(os.path.exists(os.path.join(site.app, "badrule.txt")))
        self.assertEqual(site.cfg("rule_ver"), "1.0")
        self.assertEqual(site.cfg("driver_ver"), "1.1")
        self.assertTrue(os.path.exists(os.path.join(site.app, "driver.txt")))
        self.assertEqual(os.listdir(os.path.join(site.app, "updates")), ["driver.7z"])
        self.assertNotIn("7z e updates/rules.7z", site.traced())
        self.assertIsNone(foreign.poll(), "another program folder's console lives on")
        self.assertEqual(site.http.paths()[-2:], ["/update/updateok.php", "/update/reportok.php"])

    def test_started_from_another_folder_works_in_its_own(self):
        site = self.site
        rule = site.package("rules.7z", {"regex.txt": "new rules\n"})
        site.offer(rule=("1.5", rule[0], rule[1]))
        with open(os.path.join(site.app, "log", "ostrum.log"), "w") as f:
            f.write("run log\n")
        elsewhere = os.path.join(site.root, "elsewhere")
        os.makedirs(elsewhere)
        self.assertEqual(site.update(cwd=elsewhere).returncode, 0)

        self.assertEqual(os.listdir(elsewhere), [])
        with open(os.path.join(site.app, "regex.txt")) as f:
            self.assertEqual(f.read(), "new rules\n")
        self.assertEqual(site.cfg("rule_ver"), "1.5")
        self.assertEqual(len(site.ftp.files()), 1, "the report was packed in the program folder")
        self.assertIn("/update/updateok.php", site.http.paths())


class Refused(UpdateCase):
    """Replies and packages that must leave the installation as it was."""

    def assert_nothing_recorded(self, before):
        site = self.site
        self.assertEqual(site.cfg_bytes(), before)
        self.assertNotIn("/update/updateok.php", site.http.paths())
        self.assertIn("/update/reportok.php", site.http.paths())

    def test_reply_fields_with_line_breaks_nul_or_a_bom_change_no_setting(self):
        site = self.site
        rule = site.package("rules.7z", {"regex.txt": "new rules\n"})
        before = site.cfg_bytes()
        bodies = [
            f"2.0,,,1.5\nrun_mod=3\nx,{rule[0]},{rule[1]},1.0,,".encode(),
            f"2.0,,,1.5\r\n[setting],{rule[0]},{rule[1]},1.0,,".encode(),
            f"2.0,,,1.5\0,{rule[0]},{rule[1]},1.0,,".encode(),
            f"2.0,,,\ufeff1.5,{rule[0]},{rule[1]},1.0,,".encode(),
            f"2.0,,,1.5,{rule[0]}\n,{rule[1][:16]}\n{rule[1][16:]},1.0,,".encode(),
        ]
        for body in bodies:
            site.http.serve("/update/", body)
            self.assertEqual(site.update().returncode, 0)
            self.assertEqual(site.cfg_bytes(), before, body)
        self.assertNotIn("/pkg/rules.7z", site.http.paths())
        self.assertFalse(os.path.exists(os.path.join(site.app, "regex.txt")))
        self.assertEqual(site.traced().count("reply malformed: new_rule"), len(bodies))
        self.assert_nothing_recorded(before)

    def test_missing_archiver_records_nothing(self):
        site = self.site
        rule = site.package("rules.7z", {"regex.txt": "new rules\n"})
        site.offer(rule=("1.5", rule[0], rule[1]))
        before = site.cfg_bytes()
        empty = os.path.join(site.root, "empty-path")
        os.makedirs(empty)
        self.assertEqual(site.update(env={"PATH": empty}).returncode, 0)
        self.assertIn("cannot start 7z", site.traced())
        self.assertFalse(os.path.exists(os.path.join(site.app, "regex.txt")))
        self.assert_nothing_recorded(before)

    def test_corrupt_archive_with_a_matching_digest_records_nothing(self):
        site = self.site
        site.start_service()
        corrupt = os.path.join(site.packages, "rules.7z")
        with open(corrupt, "wb") as f:
            f.write(b"7z\xbc\xaf\x27\x1c" + bytes(range(256)) * 4)
        site.http.serve_file("/pkg/rules.7z", corrupt)
        site.offer(rule=("1.5", site.http.url("/pkg/rules.7z"), md5(corrupt)))
        before = site.cfg_bytes()
        self.assertEqual(site.update().returncode, 0)
        self.assertIn("updates/rules.7z Hash 匹配!", site.traced())
        self.assertIn("unpacking failed: rules.7z", site.traced())
        self.assert_nothing_recorded(before)
        self.assertEqual(site.svcctl("query"), "Running", "the service is started again")


class Report(UpdateCase):
    def write_log(self, name, text):
        with open(os.path.join(self.site.app, "log", name), "w", newline="") as f:
            f.write(text)

    def received(self):
        files = self.site.ftp.files()
        self.assertEqual(len(files), 1, files)
        return files[0], list_archive(os.path.join(self.site.ftp.home, files[0]), self.site.root)

    def test_report_holds_yesterdays_logs_and_todays_rule_notes(self):
        site = self.site
        site.offer(product=("2.0", "", ""), rule=("1.0", "", ""), driver=("1.0", "", ""))
        yesterday = day(-1)
        self.write_log("ostrum.log", "run log\r\n")
        self.write_log(f"attack{yesterday}.log", "attack yesterday\r\n")
        self.write_log(f"detail{yesterday}.log", "detail yesterday\r\n")
        self.write_log(f"attack{day(0)}.log", "attack today\r\n")
        self.write_log(f"attack{day(-2)}.log", "attack before\r\n")
        with open(os.path.join(site.app, "regex.txt"), "w") as f:
            f.write("notes\n")
        self.assertEqual(site.update().returncode, 0)

        name, content = self.received()
        self.assertRegex(name, rf"^[0-9A-F]{{16}}-{yesterday}\.7z$")
        self.assertEqual(content, {"ostrum.log": "run log\r\n",
                                   f"attack{yesterday}.log": "attack yesterday\r\n",
                                   f"detail{yesterday}.log": "detail yesterday\r\n",
                                   "regex.txt": "notes\n"})
        self.assertEqual(len(site.ftp.passwords), 1)
        self.assertRegex(site.ftp.passwords[0], r"^[a-z]{12}$")
        self.assertEqual(site.http.paths(), ["/update/", "/update/reportok.php"])

        # Rule notes changed yesterday stay home; the last report is cleared away.
        os.remove(os.path.join(site.ftp.home, name))
        old = time.time() - 86400
        os.utime(os.path.join(site.app, "regex.txt"), (old, old))
        os.remove(os.path.join(site.app, "log", f"detail{yesterday}.log"))
        self.assertEqual(site.update().returncode, 0)
        name, content = self.received()
        self.assertEqual(sorted(content), sorted(["ostrum.log", f"attack{yesterday}.log"]))

    def test_empty_port_gives_an_address_ending_in_colon_slash(self):
        site = self.site
        with open(os.path.join(site.app, "update.ini"), "w") as f:
            f.write(f"[setting]\nup_url={site.http.url('/update/')}\n"
                    "ftp_host=127.0.0.1\nftp_port=\n")
        self.assertEqual(site.update().returncode, 0)
        self.assertRegex(site.traced(),
                         r"curl -T report/[0-9A-F]{16}-[0-9-]{10}\.7z -u ostrum:[a-z]{12} "
                         r"ftp://127\.0\.0\.1:/\n")


if __name__ == "__main__":
    unittest.main()
