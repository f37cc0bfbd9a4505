-- A browser's GET: five query arguments, three cookies, browser headers.
wrk.method = "GET"
wrk.path = "/search.php?q=hello+world&page=2&sort=asc&lang=en&id=12345"
wrk.headers["Host"] = "localhost"
wrk.headers["User-Agent"] = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 Safari/537.36"
wrk.headers["Accept"] = "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,*/*;q=0.8"
wrk.headers["Accept-Language"] = "en-US,en;q=0.9"
wrk.headers["Accept-Encoding"] = "gzip, deflate"
wrk.headers["Cookie"] = "sessionid=3f9a1c0e7b2d4a6f8e1c5b7d9a0f2e4c; theme=dark; csrftoken=Zx8kQ2mN7pL4vR9tY1wE6uI3oA5sD0fG"
