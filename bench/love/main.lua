-- The comparison frame of the engine's windowed figure (10,000 scripted
-- sprites in a 1024 x 768 window): the same 32 x 32 picture, 10,000 sprites
-- tinted at three quarters' opacity, each walking right and back over 64
-- pixels, one pixel a frame, moved in Lua and drawn with a call of its own.
-- After 60 warm-up frames, 300 frames are measured; it prints the medians
-- per frame of the update, the draw and the present (CPU time of the main
-- thread), the whole main thread, the frame's wall time, the X server's CPU
-- time (KV_XSERVER_PID names the server) and the whole process's CPU time.
-- It needs LuaJIT (LOVE's own on most systems) for the processor clocks.
local WIDTH, HEIGHT, SIDE, SPRITES = 1024, 768, 32, 10000
local WARM, FRAMES = 60, 300
local NAME = "Comparison frame (LOVE " .. table.concat({love.getVersion()}, ".", 1, 3) .. ", 10,000 sprites)"

-- Processor clocks through LuaJIT's FFI: the calling thread's, the whole
-- process's and another process's (the X server's).
local ffi = require("ffi")
ffi.cdef [[
typedef struct { long tv_sec; long tv_nsec; } kv_timespec;
int clock_gettime(int clock, kv_timespec* t);
int clock_getcpuclockid(int pid, int* clock);
]]
local CLOCK_PROCESS_CPUTIME_ID, CLOCK_THREAD_CPUTIME_ID = 2, 3
local now = ffi.new("kv_timespec")

local function seconds(clock)
    if ffi.C.clock_gettime(clock, now) ~= 0 then return nil end
    return tonumber(now.tv_sec) + tonumber(now.tv_nsec) * 1e-9
end

local function threadCpu() return seconds(CLOCK_THREAD_CPUTIME_ID) end
local function processCpu() return seconds(CLOCK_PROCESS_CPUTIME_ID) end

local serverClock
do
    local pid = tonumber(os.getenv("KV_XSERVER_PID") or "")
    local clock = ffi.new("int[1]")
    if pid and ffi.C.clock_getcpuclockid(pid, clock) == 0 then serverClock = clock[0] end
end

local function serverCpu() return serverClock and seconds(serverClock) end

local image
local xs, ys, x0s, steps, colours = {}, {}, {}, {}, {}

local function setUp()
    local data = love.image.newImageData(SIDE, SIDE)
    data:mapPixel(function(x, y) return x * 8 / 255, 0, y * 8 / 255, 1 end)
    image = love.graphics.newImage(data)
    local rng = love.math.newRandomGenerator(41)
    for i = 1, SPRITES do
        x0s[i] = rng:random(0, WIDTH - SIDE - 64)
        xs[i] = x0s[i]
        ys[i] = rng:random(0, HEIGHT - SIDE)
        steps[i] = 0
        colours[i] = {rng:random(0, 255) / 255, rng:random(0, 255) / 255, rng:random(0, 255) / 255, 0xC0 / 255}
    end
end

local function update()
    for i = 1, SPRITES do
        local step = (steps[i] + 1) % 128
        steps[i] = step
        xs[i] = x0s[i] + (step < 64 and step or 128 - step)
    end
end

local function draw()
    love.graphics.origin()
    love.graphics.clear(0, 0, 0, 1)
    local setColor, drawImage = love.graphics.setColor, love.graphics.draw
    for i = 1, SPRITES do
        local c = colours[i]
        setColor(c[1], c[2], c[3], c[4])
        drawImage(image, xs[i], ys[i])
    end
end

local function median(values)
    local sorted = {}
    for i, v in ipairs(values) do sorted[i] = v end
    table.sort(sorted)
    return sorted[math.floor(#sorted / 2) + 1] or 0
end

function love.run()
    setUp()
    local times = {update = {}, draw = {}, present = {}, main = {}, wall = {}, server = {}, process = {}}
    local getTime = love.timer.getTime
    for frame = 1, WARM + FRAMES do
        love.event.pump()
        for name in love.event.poll() do
            if name == "quit" then return function() return 0 end end
        end
        local wall, process, server = getTime(), processCpu(), serverCpu()
        local start = threadCpu()
        update()
        local updated = threadCpu()
        draw()
        local drawn = threadCpu()
        love.graphics.present()
        local presented = threadCpu()
        if frame > WARM then
            table.insert(times.update, (updated - start) * 1e3)
            table.insert(times.draw, (drawn - updated) * 1e3)
            table.insert(times.present, (presented - drawn) * 1e3)
            table.insert(times.main, (presented - start) * 1e3)
            table.insert(times.wall, (getTime() - wall) * 1e3)
            if server then table.insert(times.server, (serverCpu() - server) * 1e3) end
            table.insert(times.process, (processCpu() - process) * 1e3)
        end
    end
    local lines = {
        {"update CPU (main thread)", times.update}, {"draw CPU (main thread)", times.draw},
        {"present CPU (main thread)", times.present}, {"main-thread CPU", times.main},
        {"frame wall time", times.wall}, {"the X server's CPU", times.server},
        {"whole-process CPU", times.process},
    }
    for _, line in ipairs(lines) do
        if #line[2] == 0 then
            print(string.format("%s, %s: not measured", NAME, line[1]))
        else
            print(string.format("%s, %s: %.2f ms per frame (median of %d)", NAME, line[1], median(line[2]), FRAMES))
        end
    end
    io.stdout:flush()
    return function() return 0 end
end
