-- A POST of a 1 KiB url-encoded form.
local fields = {}
for i = 1, 32 do
  fields[#fields + 1] = string.format("field%02d=value%02d-abcdefghij", i, i)
end
local body = table.concat(fields, "&")
body = body .. string.rep("x", 1024 - #body)
wrk.method = "POST"
wrk.path = "/index.html"
wrk.body = body
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
