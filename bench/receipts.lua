-- wrk script posting receipts, each under a session id of its own so that
-- none is answered from the check cache, and counting answers other than 200.
--
-- wrk -s receipts.lua URL -- RECEIPT-FILE TAG CREDENTIALS
--   RECEIPT-FILE  a receipt document with a "sessionId" to replace
--   TAG           starts every session id, unique per run
--   CREDENTIALS   Basic credentials, Base64 of "login:password"
--
-- done() prints one line of key=value pairs for the calling script.

local threads = {}

function setup(thread)
    table.insert(threads, thread)
    thread:set("id", #threads)
end

function init(args)
    local file = assert(io.open(args[1], "rb"))
    template = file:read("*a")
    file:close()
    assert(template:find('"sessionId"%s*:%s*"[^"]*"'), "the receipt has no sessionId")
    tag = args[2]
    wrk.method = "POST"
    wrk.headers["Content-Type"] = "application/json"
    wrk.headers["Authorization"] = "Basic " .. args[3]
    sent = 0
    failed = 0
    firstFailure = ""
end

function request()
    sent = sent + 1
    local session = string.format('"sessionId": "%s-%d-%d"', tag, id, sent)
    local body = template:gsub('"sessionId"%s*:%s*"[^"]*"', session, 1)
    return wrk.format(nil, nil, nil, body)
end

function response(status, headers, body)
    if status ~= 200 then
        failed = failed + 1
        if firstFailure == "" then
            firstFailure = status .. " " .. body:sub(1, 120):gsub("%s+", " ")
        end
    end
end

function done(summary, latency, requests)
    local failures, first = 0, ""
    for _, thread in ipairs(threads) do
        failures = failures + thread:get("failed")
        if first == "" then
            first = thread:get("firstFailure")
        end
    end
    local errors = summary.errors
    io.write(string.format(
        "answers=%d ok=%d non200=%d socketerrors=%d seconds=%.3f p50ms=%.2f p99ms=%.2f maxms=%.2f first=%s\n",
        summary.requests, summary.requests - failures, failures,
        errors.connect + errors.read + errors.write + errors.timeout,
        summary.duration / 1e6, latency:percentile(50) / 1000, latency:percentile(99) / 1000,
        latency.max / 1000, first))
end
