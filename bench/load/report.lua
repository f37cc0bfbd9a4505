-- Appended to every shape: one line the load script reads.
done = function(summary, latency, requests)
  local e = summary.errors
  io.write(string.format(
    "RESULT requests=%d duration_us=%d rps=%.1f p50_us=%d p90_us=%d p99_us=%d max_us=%d non2xx=%d err_connect=%d err_read=%d err_write=%d err_timeout=%d\n",
    summary.requests, summary.duration, summary.requests / summary.duration * 1e6,
    latency:percentile(50), latency:percentile(90), latency:percentile(99), latency.max,
    e.status, e.connect, e.read, e.write, e.timeout))
end
