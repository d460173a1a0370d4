#include "KVEventGame.h"

namespace kvtest {

const char* const kEventRecorder =
    "events = {}\n"
    "function record(text) events[#events + 1] = text end\n"
    "function track(name, extra)\n"
    "  local t = {}\n"
    "  for _, e in ipairs({'OnCreate', 'OnPreEnable', 'OnEnable', 'OnUpdate', 'OnDisable'}) do\n"
    "    local own = extra and extra[e]\n"
    "    t[e] = function() record(name .. ':' .. e) if own then own() end end\n"
    "  end\n"
    "  _G[name] = t\n"
    "  return t\n"
    "end\n"
    "function of(name, skip)\n"
    "  local out = {}\n"
    "  for _, e in ipairs(events) do\n"
    "    local at = e:find(':', 1, true)\n"
    "    if at and e:sub(1, at - 1) == name and e:sub(at + 1) ~= skip then out[#out + 1] = e:sub(at + 1) end\n"
    "  end\n"
    "  return table.concat(out, ' ')\n"
    "end\n"
    "function all(skip)\n"
    "  local out = {}\n"
    "  for _, e in ipairs(events) do\n"
    "    if e:sub(-#skip - 1) ~= ':' .. skip then out[#out + 1] = e end\n"
    "  end\n"
    "  return table.concat(out, ' ')\n"
    "end\n";

} // namespace kvtest
