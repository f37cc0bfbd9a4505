-- A login POST: a 1024-byte url-encoded form of ten fields, browser headers.
local fields = {
  "username=alice.smith%40example.com",
  "password=CorrectHorseBatteryStaple42",
  "remember_me=1",
  "csrf_token=9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08",
  "redirect_to=%2Faccount%2Fdashboard",
  "client_tz=Europe%2FBerlin",
  "screen=1920x1080",
  "lang=en-US",
  "device_id=6f1c2a9e-4b7d-4e3a-9c5f-1d2e3f4a5b6c",
}
local body = table.concat(fields, "&") .. "&notes="
local filler = "the+quick+brown+fox+jumps+over+the+lazy+dog+"
while #body < 1024 do body = body .. filler end
body = string.sub(body, 1, 1024)
if string.sub(body, -1) == "+" then body = string.sub(body, 1, 1023) .. "x" end
wrk.method = "POST"
wrk.path = "/login.php"
wrk.body = body
wrk.headers["Host"] = "localhost"
wrk.headers["User-Agent"] = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 Safari/537.36"
wrk.headers["Accept"] = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"
wrk.headers["Accept-Language"] = "en-US,en;q=0.9"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["Cookie"] = "sessionid=3f9a1c0e7b2d4a6f8e1c5b7d9a0f2e4c; theme=dark; csrftoken=Zx8kQ2mN7pL4vR9tY1wE6uI3oA5sD0fG"
