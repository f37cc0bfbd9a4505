-- A GET with five query arguments, three cookies and a browser User-Agent.
wrk.method = "GET"
wrk.path = "/index.html?id=12345&page=3&sort=price&lang=en&q=blue+shoes"
wrk.headers["Cookie"] = "session=8f3a9c2e71b4d6a0; theme=dark; cart=17"
wrk.headers["User-Agent"] =
  "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36"
