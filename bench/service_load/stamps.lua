-- wrk: stamp requests taken in turn from the file named by STAMP_REQUESTS
-- (one request target per line); each thread starts at its own place.
-- Replies other than "qo;" are counted and reported as stamp_refused.
local targets = {}
for line in io.lines(os.getenv("STAMP_REQUESTS")) do
  targets[#targets + 1] = line
end
local threads = {}
local next_target = 1

-- STAMP_PAUSE_MS: each connection waits so long between its requests, so the
-- traffic comes at a set pace instead of as fast as the service answers.
local pause = tonumber(os.getenv("STAMP_PAUSE_MS") or "")
if pause and pause > 0 then
  function delay()
    return pause
  end
end

function setup(thread)
  table.insert(threads, thread)
  thread:set("start", #threads * 7919)
end

function init(args)
  next_target = (start or 0) % #targets + 1
  refused = 0
end

function request()
  local target = targets[next_target]
  next_target = next_target % #targets + 1
  return wrk.format("GET", target)
end

function response(status, headers, body)
  if string.sub(body, 1, 3) ~= "qo;" then
    refused = refused + 1
  end
end

function done(summary, latency, requests)
  local total = 0
  for _, thread in ipairs(threads) do
    total = total + thread:get("refused")
  end
  io.write(string.format("stamp_refused: %d\n", total))
end
