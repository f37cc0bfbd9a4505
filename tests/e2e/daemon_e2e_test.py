"""Whole-system tests of the service as a Linux daemon: honest starts, exit
statuses, descriptors, descriptor limits, boot start, the settings file, and
nginx behind the installed service with the client's address passed on.
Started like service_e2e_test.py, whose program folder helper it shares."""

import os
import resource
import socket
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import service_e2e_test as shared  # noqa: E402  (takes the program arguments)

from service_e2e_test import NGINX, Installation, get, wait_for  # noqa: E402

IDLE_CLIENTS = 2000
SOFT_LIMIT = 1024
FAKETIME = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1"
OTHER_USER = 65534  # nobody


def service_pid(site):
    status = os.path.join(site.env["OSTRUM_SVC_ROOT"], "ostrum.status")
    with open(status) as f:
        for line in f:
            if line.startswith("pid="):
                return int(line[4:])
    return 0


def descriptors(pid):
    """The process's open descriptors; one it closes while they are read is left out."""
    folder = f"/proc/{pid}/fd"
    found = {}
    for name in os.listdir(folder):
        try:
            found[name] = os.readlink(os.path.join(folder, name))
        except FileNotFoundError:
            pass
    return found


def read_text(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""


def run(site, *command, **options):
    return subprocess.run(list(command), cwd=site.app, env=site.env, capture_output=True,
                          text=True, timeout=60, **options)


def start_without_wait(site):
    """Installs and starts the service, and waits until its start has ended
    one way or the other."""
    run(site, "./ostrum", "-i")
    run(site, "./svcctl", "start", "Ostrum")
    return wait_for(lambda: "ostrum start!" in site.log("ostrum.log") or
                    "Failed to start" in site.log("ostrum.log"))


def with_upstreams(site, lines):
    with open(os.path.join(site.app, "netfilter2", "netfilter.ini"), "w") as f:
        f.write(f"[upstream]\n{lines}[setting]\nlisten=127.0.0.1\nthreads=2\n")


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class HonestStart(unittest.TestCase):
    def setUp(self):
        self.site = Installation(run_mod=2)

    def tearDown(self):
        self.site.close()

    def test_busy_port_alone_fails_the_start_with_its_reason(self):
        site = self.site
        with socket.socket() as holder:
            holder.bind(("127.0.0.1", site.port))
            holder.listen()
            run(site, "./ostrum", "-i")
            started = run(site, "./svcctl", "start", "Ostrum")
        self.assertEqual((started.returncode, started.stdout), (1, "Stopped\n"))
        self.assertIn("Ostrum stopped during its start (exit code 1066, 4)", started.stderr)
        self.assertEqual(site.svcctl("query"), "Stopped")
        log = site.log("ostrum.log")
        self.assertIn(f"Failed to add driver rule for port {site.port}: Address already in use",
                      log)
        self.assertIn("Failed to start: no port could be filtered", log)
        self.assertNotIn("ostrum start!", log)

    def test_missing_upstream_is_named(self):
        site = self.site
        with_upstreams(site, "")
        self.assertTrue(start_without_wait(site))
        self.assertTrue(wait_for(lambda: site.svcctl("query") == "Stopped"))
        self.assertIn(f"Failed to add driver rule for port {site.port}: no upstream for port "
                      f"{site.port} in netfilter2/netfilter.ini", site.log("ostrum.log"))

    def test_some_ports_failing_leave_the_others_filtered(self):
        site = self.site
        other = shared.free_port()
        with open(os.path.join(site.app, "ostrum.cfg"), "a") as cfg:
            cfg.write(f"filt_http_port={other}\n")
        with_upstreams(site, f"{site.port}=127.0.0.1:{site.web_port}\n")
        self.assertTrue(start_without_wait(site))
        self.assertEqual(site.svcctl("query"), "Running")
        self.assertIn(f"Failed to add driver rule for port {other}: no upstream",
                      site.log("ostrum.log"))
        self.assertIn(b"200 OK", get(site.port, "/"))


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class DaemonProgram(unittest.TestCase):
    def setUp(self):
        self.site = Installation(run_mod=2)

    def tearDown(self):
        self.site.close()

    def test_installer_exit_statuses(self):
        site = self.site
        removal = run(site, "./ostrum", "-u")
        self.assertEqual((removal.returncode, removal.stdout), (1, "Ostrum is not installed\n"))
        self.assertEqual(run(site, "./ostrum", "-i").returncode, 0)
        self.assertEqual(run(site, "./ostrum", "-i").returncode, 0, "already installed is fine")
        self.assertEqual(run(site, "./ostrum").returncode, 1, "not started by a service manager")
        self.assertEqual(run(site, "./ostrum", "-u").returncode, 0)
        plain = os.path.join(site.root, "plain")
        open(plain, "w").close()
        env = dict(site.env, OSTRUM_SVC_ROOT=os.path.join(plain, "svc"))
        failed = subprocess.run(["./ostrum", "-i"], cwd=site.app, env=env, capture_output=True,
                                text=True, timeout=60)
        self.assertEqual(failed.returncode, 1)
        self.assertTrue(failed.stdout.startswith("Ostrum failed to install. Error "), failed.stdout)

    def test_children_and_the_service_get_no_stray_descriptors(self):
        site = self.site
        # The web-server restart the service starts once it filters.
        restart = os.path.join(site.app, "iisreset")
        with open(restart, "w") as f:
            f.write("#!/bin/sh\necho $$ > iisreset.pid\nexec sleep 60\n")
        os.chmod(restart, 0o755)
        stray = os.path.join(site.root, "stray.txt")
        with open(stray, "w") as held:
            os.set_inheritable(held.fileno(), True)
            run(site, "./ostrum", "-i")
            run(site, "./svcctl", "start", "Ostrum", pass_fds=(held.fileno(),))
        pid_file = os.path.join(site.app, "iisreset.pid")
        self.assertTrue(wait_for(lambda: read_text(pid_file).strip() != ""))
        child = int(read_text(pid_file))
        try:
            # Read once its start-up (libraries, locales) has closed its own files.
            self.assertTrue(wait_for(lambda: sorted(descriptors(child)) == ["0", "1", "2"]),
                            descriptors(child))
        finally:
            os.kill(child, 9)
        self.assertNotIn(stray, descriptors(service_pid(site)).values())

    def test_idle_clients_do_not_lock_out_the_next_one(self):
        site = self.site
        hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        if hard != resource.RLIM_INFINITY and hard < 2 * IDLE_CLIENTS + 200:
            self.skipTest(f"the hard descriptor limit {hard} is too low")
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
        run(site, "./ostrum", "-i")
        run(site, "prlimit", f"--nofile={SOFT_LIMIT}:", "./svcctl", "start", "Ostrum")
        self.assertTrue(wait_for(lambda: "ostrum start!" in site.log("ostrum.log")))
        with open(f"/proc/{service_pid(site)}/limits") as f:
            limits = [l for l in f if l.startswith("Max open files")][0].split()
        self.assertNotEqual(limits[3], str(SOFT_LIMIT), "the soft limit was raised")
        idle = []
        try:
            for _ in range(IDLE_CLIENTS):
                idle.append(socket.create_connection(("127.0.0.1", site.port), timeout=10))
            self.assertIn(b"200 OK", get(site.port, "/"))
        finally:
            for s in idle:
                s.close()

    # UndefinedBehaviorSanitizer probes memory through a pipe it cannot open
    # then, and ends the service.
    @unittest.skipIf(os.environ.get("OSTRUM_SANITIZED") == "1", "sanitizers need descriptors")
    def test_out_of_descriptors_is_told_and_the_service_recovers(self):
        site = self.site
        hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
        resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
        run(site, "./ostrum", "-i")
        # A hard limit the service cannot raise.
        run(site, "prlimit", f"--nofile={SOFT_LIMIT}:{SOFT_LIMIT}", "./svcctl", "start", "Ostrum")
        self.assertTrue(wait_for(lambda: "ostrum start!" in site.log("ostrum.log")))
        idle = []
        try:
            for _ in range(SOFT_LIMIT + 100):
                idle.append(socket.create_connection(("127.0.0.1", site.port), timeout=10))
            self.assertTrue(wait_for(lambda: "Out of file descriptors" in site.log("ostrum.log"),
                                     timeout=60), site.log("ostrum.log"))
        finally:
            for s in idle:
                s.close()
        # Served again once the service has let the idle ones go.
        self.assertTrue(wait_for(lambda: b"200 OK" in get(site.port, "/")))
        lines = [l for l in site.log("ostrum.log").split("\r\n") if "Out of file descriptors" in l]
        self.assertEqual(len(lines), 1, "one line a minute")

    def test_boot_starts_automatic_services(self):
        site = self.site
        run(site, "./ostrum", "-i")
        started = run(site, "./svcctl", "start-automatic")
        self.assertEqual((started.returncode, started.stdout), (0, "Ostrum: Running\n"))
        self.assertTrue(wait_for(lambda: "ostrum start!" in site.log("ostrum.log")))
        again = run(site, "./svcctl", "start-automatic")
        self.assertEqual((again.returncode, again.stdout), (0, ""), "a running one is left alone")


@unittest.skipUnless(os.access(NGINX, os.X_OK) and os.path.exists(FAKETIME) and
                     os.geteuid() == 0, "needs nginx, faketime and root")
class SettingsFile(unittest.TestCase):
    def test_daily_write_keeps_owner_mode_and_link(self):
        site = Installation(run_mod=2, settings="auto_update_report=1\n")
        try:
            real = os.path.join(site.root, "settings", "ostrum.cfg")
            os.makedirs(os.path.dirname(real))
            cfg = os.path.join(site.app, "ostrum.cfg")
            os.rename(cfg, real)
            os.symlink(real, cfg)
            os.chown(real, OTHER_USER, OTHER_USER)
            os.chmod(real, 0o664)
            # The service wakes at 01:00:10, the time of its daily update (the
            # sanitizers' runtime lets the preloaded clock go first).
            site.env.update(LD_PRELOAD=FAKETIME, FAKETIME="@2026-01-02 01:00:00",
                            FAKETIME_DONT_FAKE_MONOTONIC="1",
                            ASAN_OPTIONS=":".join(filter(None, [os.environ.get("ASAN_OPTIONS"),
                                                            "verify_asan_link_order=0"])))
            site.start()
            self.assertTrue(wait_for(lambda: "last_update_date=2026-01-02" in read_text(real),
                                     timeout=60), read_text(real))
            self.assertTrue(os.path.islink(cfg))
            info = os.stat(real)
            self.assertEqual((info.st_uid, info.st_gid, info.st_mode & 0o7777),
                             (OTHER_USER, OTHER_USER, 0o664))
            self.assertEqual(os.listdir(os.path.dirname(real)), ["ostrum.cfg"])
        finally:
            site.close()


class ProxiedInstallation(Installation):
    """nginx behind the service, told the client's address as the README
    says: by the PROXY protocol or by the last X-Forwarded-For address."""

    NGINX_REAL_IP = {
        "proxy-v1": ("proxy_protocol", "real_ip_header proxy_protocol;"),
        "x-forwarded-for": ("", "real_ip_header X-Forwarded-For; real_ip_recursive off;"),
    }

    def __init__(self, forward_client):
        self.forward_client = forward_client
        super().__init__(run_mod=1)

    def _configure(self, run_mod, settings):
        super()._configure(run_mod, settings)
        with open(os.path.join(self.app, "netfilter2", "netfilter.ini"), "a") as f:
            f.write(f"forward_client={self.forward_client}\n")

    def _start_nginx(self):
        web = os.path.join(self.root, "nginx")
        os.makedirs(os.path.join(web, "html"))
        os.makedirs(os.path.join(web, "tmp"))
        with open(os.path.join(web, "html", "index.html"), "w") as f:
            f.write("hello\n")
        subprocess.run(["chmod", "-R", "a+rX", self.root], check=True)
        self.nginx_conf = os.path.join(web, "nginx.conf")
        temps = "".join(f"{k}_temp_path {web}/tmp; " for k in
                        ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        listen_option, real_ip = self.NGINX_REAL_IP[self.forward_client]
        with open(self.nginx_conf, "w") as f:
            f.write(f"daemon on; pid {web}/nginx.pid; error_log {web}/error.log;\n"
                    "events { worker_connections 256; }\n"
                    f"http {{ access_log {web}/access.log; {temps}\n"
                    f"  server {{ listen 127.0.0.1:{self.web_port} {listen_option};\n"
                    f"    set_real_ip_from 127.0.0.1; {real_ip}\n"
                    f"    root {web}/html; }} }}\n")
        subprocess.run([NGINX, "-c", self.nginx_conf], check=True)
        self.access_log = os.path.join(web, "access.log")


@unittest.skipUnless(os.access(NGINX, os.X_OK), "nginx is not installed")
class BehindTheService(unittest.TestCase):
    def client_address_logged(self, forward_client, headers=""):
        site = ProxiedInstallation(forward_client)
        try:
            site.start()
            with socket.socket() as s:
                s.bind(("127.0.0.2", 0))  # a client that is not the service's own address
                s.settimeout(10)
                s.connect(("127.0.0.1", site.port))
                s.sendall(f"GET /index.html HTTP/1.1\r\nHost: x\r\n{headers}"
                          "Connection: close\r\n\r\n".encode())
                answer = b""
                while chunk := s.recv(65536):
                    answer += chunk
            self.assertIn(b"200 OK", answer)

            def logged():
                with open(site.access_log) as f:
                    return [l for l in f if "/index.html" in l]
            self.assertTrue(wait_for(lambda: logged()))
            return logged()[0].split()[0]
        finally:
            site.close()

    def test_proxy_protocol_gives_nginx_the_clients_address(self):
        self.assertEqual(self.client_address_logged("proxy-v1"), "127.0.0.2")

    def test_clients_own_forwarded_for_does_not_fool_the_last_address(self):
        self.assertEqual(self.client_address_logged("x-forwarded-for",
                                                    "X-Forwarded-For: 6.6.6.6\r\n"),
                         "127.0.0.2")


if __name__ == "__main__":
    unittest.main()
