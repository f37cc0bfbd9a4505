-- Plain GET of a static page: no arguments, only a Host header.
wrk.method = "GET"
wrk.path = "/index.html"
wrk.headers["Host"] = "localhost"
